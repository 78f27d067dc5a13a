#pragma once

// File access shared by the document and the command-line tool: reading in large blocks, and
// replacing a file only once its new content is complete on disk.

#include <cerrno>
#include <cstddef>
#include <cstdint>
#include <functional>
#include <string>
#include <string_view>
#include <utility>

#include <unistd.h>

// Where a save writes its bytes; tests inject one that fails part-way.
class TFileWriter {
public:
    virtual ~TFileWriter() = default;
    // Writes all of Data or throws std::system_error.
    virtual void Write(int Fd, const char* Data, std::size_t Size) = 0;
};

class TFd {
public:
    explicit TFd(int fd = -1) : Fd(fd) {}
    TFd(const TFd&) = delete;
    TFd& operator=(const TFd&) = delete;
    ~TFd() {
        if (Fd >= 0)
            ::close(Fd);
    }
    int Get() const { return Fd; }
    // Closes now so that the caller sees the error a late write-back may report.
    int Close() {
        const int fd = std::exchange(Fd, -1);
        return fd >= 0 ? ::close(fd) : 0;
    }

private:
    int Fd;
};

[[noreturn]] void ThrowFileError(int error, const std::string& what);

constexpr std::size_t ReadBlock = 256 * 1024;

// Reads up to Size bytes into Buffer; 0 at the end of the file. Errors name the file Name.
std::size_t ReadFile(int Fd, char* Buffer, std::size_t Size, const std::string& Name);

// Hands the file's bytes over block by block; false from onChunk stops the reading.
template <class F> void ReadBlocks(int fd, const std::string& path, char* buffer, F&& onChunk) {
    for (std::size_t n; (n = ReadFile(fd, buffer, ReadBlock, path)) != 0;)
        if (!onChunk(std::string_view(buffer, n)))
            return;
}

class TPosixFileWriter : public TFileWriter {
public:
    void Write(int Fd, const char* Data, std::size_t Size) override;
};

// What a path names, symbolic links followed.
struct TFileIdentity {
    bool Exists = false;
    bool Regular = false; // a plain file, not a folder, device or pipe
    uint64_t Device = 0;
    uint64_t Inode = 0;
    bool SameFileAs(const TFileIdentity& Other) const {
        return Exists && Other.Exists && Device == Other.Device && Inode == Other.Inode;
    }
};
TFileIdentity IdentifyFile(const std::string& Path);

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
