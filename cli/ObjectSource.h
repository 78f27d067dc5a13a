#pragma once

// Reads a propdump file (or standard input) in batches of whole lines, so that the commands can
// stream through files of any size and work on two batches at once. Lines are cut exactly as the
// document's loader cuts them (CR LF, LF and CR end a line; NUL bytes up to the end are padding,
// and a NUL byte with anything else after it is an error of its line, past which nothing is
// read), and the version comes from the header line or, for a file without one, from the caller.

#include "cli/Progress.h"
#include "model/BlockReader.h"
#include "model/FileIo.h"

#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

struct TBatch {
    TBlock Block; // whole lines with their line ends
    // Each line of the block without its line end; filled by TObjectSource::Cut.
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

    // The next batch's block, reusing Batch's storage; false at the end of the text. Its lines
    // are cut by Cut, on whichever thread works on it.
    bool Next(TBatch& Batch);
    // Cuts the batch's block into its lines and numbers them. Batches are cut side by side in
    // the order Next gave them out, each once.
    void Cut(TBatch& Batch);

    // Lines of the batches cut so far.
    uint64_t Lines() const { return Numbers.Lines(); }

private:
    void TakeHeader(std::string_view FirstLine);

    std::string DisplayName;
    FileSystem::TFile File;
    int FileVersion = 0;
    uint64_t Header = 0;
    TProgress Progress;
    TBlockReader Reader;
    TBlock First; // read to find the header, and handed out first
    bool FirstPending = true;
    TLineNumbers Numbers;
};
