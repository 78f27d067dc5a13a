#pragma once

// File access shared by the document and the command-line tool: reading in large blocks, and
// replacing a file only once its new content is complete on disk.

#include "model/FileSystem.h"

#include <cstddef>
#include <cstdint>
#include <functional>
#include <string>
#include <string_view>
#include <system_error>
#include <utility>

// Where a save writes its bytes; tests inject one that fails part-way.
class TFileWriter {
public:
    virtual ~TFileWriter() = default;
    // Writes all of Data or throws std::system_error.
    virtual void Write(const FileSystem::TFile& File, const char* Data, std::size_t Size) = 0;
};

[[noreturn]] void ThrowFileError(std::error_code Error, const std::string& What);
[[noreturn]] void ThrowFileError(int Error, const std::string& What);

constexpr std::size_t ReadBlock = 256 * 1024;

// Reads up to Size bytes into Buffer; 0 at the end of the file. Errors name the file Name.
std::size_t ReadFile(const FileSystem::TFile& File, char* Buffer, std::size_t Size,
                     const std::string& Name);
// The same at Offset, leaving the read position alone.
std::size_t ReadFileAt(const FileSystem::TFile& File, uint64_t Offset, char* Buffer,
                       std::size_t Size, const std::string& Name);
// Opens Path for reading; errors name it.
FileSystem::TFile OpenFile(const std::string& Path);

// Hands the file's bytes over block by block; false from onChunk stops the reading.
template <class F>
void ReadBlocks(const FileSystem::TFile& File, const std::string& Path, char* Buffer, F&& onChunk) {
    for (std::size_t n; (n = ReadFile(File, Buffer, ReadBlock, Path)) != 0;)
        if (!onChunk(std::string_view(Buffer, n)))
            return;
}

class TSystemFileWriter : public TFileWriter {
public:
    void Write(const FileSystem::TFile& File, const char* Data, std::size_t Size) override;
};

using FileSystem::IdentifyFile;
using FileSystem::TFileIdentity;

// Receives the bytes of a new file piece by piece, in order.
using TByteSink = std::function<void(const char* Data, std::size_t Size)>;

// Gives FileName the bytes that Produce hands to its sink, and nothing else of the file changes:
// its owner, group, mode, access ACL, extended attributes and other names stay. The old file
// stays whole until the new one is complete on disk: a complete file is written beside it, given
// all the old one carries and renamed over it, so a failure at any point (Ctrl+C, SIGTERM and
// SIGHUP included, which remove the new file) leaves the old file as it was. Where a renamed file
// could not stand in for the old one (a file with several names, a folder the user may not write,
// something the new file cannot be given) the bytes are made whole in memory and written over the
// old ones in place, with room for them taken first and those signals held back until they are
// on disk. A symbolic link is followed and its target replaced; a device or pipe is written to
// directly; a file the user may not write is refused. File errors are std::system_error naming
// FileName, and the folder when it is the reason.
void SaveFileAtomically(const std::string& FileName, TFileWriter& Writer,
                        const std::function<void(const TByteSink& Sink)>& Produce);
