#pragma once

// Reads a propdump file (or standard input) in batches of whole lines, so that the commands can
// stream through files of any size and work on two batches at once. Lines are cut exactly as the
// document's loader cuts them (CR LF, LF and CR end a line; NUL bytes up to the end are padding,
// and a NUL byte with anything else after it is an error of its line, past which nothing is
// read), and the version comes from the header line or, for a file without one, from the caller.

#include "cli/Progress.h"
#include "model/FileIo.h"

#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

// Bytes read from a file. It grows without clearing the room it adds, since reading fills it.
class TReadBuffer {
public:
    std::string_view View() const { return {Bytes.get(), Used}; }
    std::size_t Size() const { return Used; }
    // Makes room for Extra more bytes after the used ones and returns where they go; Resize
    // then says how many of them were filled.
    char* Extend(std::size_t Extra);
    void Resize(std::size_t Size) { Used = Size; }
    void Assign(std::string_view Text);

private:
    struct TFree {
        void operator()(char* Bytes) const { std::free(Bytes); }
    };
    std::unique_ptr<char, TFree> Bytes;
    std::size_t Used = 0;
    std::size_t Capacity = 0;
};

struct TBatch {
    TReadBuffer Text; // whole lines with their line ends
    // Each line of Text without its line end, as the loader cuts them.
    std::vector<std::string_view> Lines;
    uint64_t FirstLine = 0;   // 1-based line number of its first line in the file
    uint64_t FirstObject = 0; // 0-based document position of its first object line
    // The last of Lines holds a NUL byte that the file cannot be read past; the line is what
    // comes before the NUL.
    bool EndsInNulLine = false;
};

class TObjectSource {
public:
    // Path "-" is standard input. FileVersion 0: the first line must be a "propdump version N"
    // header; otherwise every line is an object line of that version. Raises EInputError for a
    // missing header, a header where FileVersion says there is none, and an empty file;
    // std::system_error when the file cannot be read.
    TObjectSource(const std::string& Path, int FileVersion);
    // The same for a file already open; Name is what messages call it.
    TObjectSource(FileSystem::TFile File, const std::string& Name, int FileVersion);

    // "(standard input)" or the path, for messages.
    const std::string& Name() const { return DisplayName; }
    int Version() const { return FileVersion; }
    // 1 when the first line is the header.
    uint64_t HeaderLines() const { return Header; }

    // The next batch, reusing Batch's storage; false at the end of the text.
    bool Next(TBatch& Batch);

    // Lines read so far.
    uint64_t Lines() const { return NextLine - 1; }

private:
    bool ReadMore(TReadBuffer& Into);
    bool OnlyNulBytesFollow(std::string_view Rest);
    std::string_view ReadFirstLine();
    void TakeHeader(std::string_view FirstLine);

    std::string DisplayName;
    FileSystem::TFile File;
    int FileVersion = 0;
    uint64_t Header = 0;
    TReadBuffer Carry;           // the start of a line whose end has not been read yet
    bool AtEnd = false;          // end of file, or a NUL byte, reached
    bool NulLinePending = false; // the text ended at a NUL byte that the file cannot be read past
    uint64_t NextLine = 1;
    uint64_t NextObject = 0;
    uint64_t BytesRead = 0;
    TProgress Progress;
};
