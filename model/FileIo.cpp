#include "model/FileIo.h"

#include <algorithm>
#include <chrono>
#include <cstdint>
#include <cstdio>
#include <memory>
#include <system_error>

#include <fcntl.h>
#include <sys/stat.h>

void ThrowFileError(int error, const std::string& what) {
    throw std::system_error(error, std::generic_category(), what);
}

void TPosixFileWriter::Write(int Fd, const char* Data, std::size_t Size) {
    while (Size > 0) {
        const ssize_t n = ::write(Fd, Data, Size);
        if (n < 0) {
            if (errno == EINTR)
                continue;
            ThrowFileError(errno, "Cannot write file");
        }
        Data += n;
        Size -= static_cast<std::size_t>(n);
    }
}

namespace {

std::string DirectoryOf(const std::string& path) {
    const std::size_t slash = path.rfind('/');
    return slash == std::string::npos ? std::string() : path.substr(0, slash + 1);
}

struct TSaveTarget {
    std::string Path; // the file that gets replaced: a symbolic link is followed to its target
    bool Exists = false;
    struct stat Stat {};
};

TSaveTarget ResolveSaveTarget(const std::string& fileName) {
    TSaveTarget target;
    target.Path = fileName;
    for (int hops = 0;; ++hops) {
        if (::lstat(target.Path.c_str(), &target.Stat) != 0) {
            if (errno == ENOENT)
                return target;
            ThrowFileError(errno, "Cannot save file \"" + fileName + "\"");
        }
        if (!S_ISLNK(target.Stat.st_mode)) {
            target.Exists = true;
            return target;
        }
        if (hops == 40)
            ThrowFileError(ELOOP, "Cannot save file \"" + fileName + "\"");
        std::string link(static_cast<std::size_t>(std::max<off_t>(target.Stat.st_size, 0)) + 1,
                         '\0');
        const ssize_t n = ::readlink(target.Path.c_str(), link.data(), link.size());
        if (n < 0)
            ThrowFileError(errno, "Cannot save file \"" + fileName + "\"");
        if (static_cast<std::size_t>(n) >= link.size()) // the link changed under us
            ThrowFileError(ENAMETOOLONG, "Cannot save file \"" + fileName + "\"");
        link.resize(static_cast<std::size_t>(n));
        target.Path = !link.empty() && link[0] == '/' ? link : DirectoryOf(target.Path) + link;
    }
}

// A temporary file beside the target, removed again unless it was renamed over the target. Its
// name is a fixed prefix and six random characters, 13 bytes in all: within the 14 that every
// POSIX file system allows, so it fits wherever the target fits, however long the target's own
// name is.
class TTempFile {
public:
    static constexpr char Prefix[] = ".pdtmp-";

    explicit TTempFile(const std::string& target) {
        static constexpr char alphabet[] = "0123456789abcdefghijklmnopqrstuvwxyz";
        uint64_t state =
            static_cast<uint64_t>(std::chrono::steady_clock::now().time_since_epoch().count()) ^
            (static_cast<uint64_t>(::getpid()) << 32);
        const std::string folder = DirectoryOf(target);
        for (int attempt = 0; attempt < 100; ++attempt) {
            state = state * 6364136223846793005ull + 1442695040888963407ull;
            Path = folder + Prefix;
            for (uint64_t bits = state >> 16, i = 0; i < 6; ++i, bits /= 36)
                Path += alphabet[bits % 36];
            // 0666 lets the umask decide, as for any new file.
            const int fd = ::open(Path.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0666);
            if (fd >= 0) {
                File = std::make_unique<TFd>(fd);
                return;
            }
            if (errno != EEXIST)
                ThrowFileError(errno, "Cannot save file \"" + target + "\"");
        }
        ThrowFileError(EEXIST, "Cannot save file \"" + target + "\"");
    }
    TTempFile(const TTempFile&) = delete;
    TTempFile& operator=(const TTempFile&) = delete;
    ~TTempFile() {
        if (!File)
            return;
        File->Close();
        ::unlink(Path.c_str());
    }
    int Fd() const { return File->Get(); }
    void CommitAs(const std::string& target) {
        if (::fsync(Fd()) != 0)
            ThrowFileError(errno, "Cannot write file \"" + target + "\"");
        if (File->Close() != 0)
            ThrowFileError(errno, "Cannot write file \"" + target + "\"");
        if (::rename(Path.c_str(), target.c_str()) != 0)
            ThrowFileError(errno, "Cannot replace file \"" + target + "\"");
        File.reset();
    }

private:
    std::string Path;
    std::unique_ptr<TFd> File;
};

void SyncDirectoryOf(const std::string& path) {
    const std::string dir = DirectoryOf(path);
    TFd fd(::open(dir.empty() ? "." : dir.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC));
    // The rename is done; a folder that cannot be synced only loses durability, not data.
    if (fd.Get() >= 0)
        ::fsync(fd.Get());
}

} // namespace

void SaveFileAtomically(const std::string& fileName, TFileWriter& writer,
                        const std::function<void(const TByteSink&)>& produce) {
    if (fileName.empty())
        ThrowFileError(ENOENT, "Cannot save a document without a file name");
    const TSaveTarget target = ResolveSaveTarget(fileName);
    // Renaming over a file the user may not write would quietly undo a write protection.
    if (target.Exists && ::access(target.Path.c_str(), W_OK) != 0)
        ThrowFileError(errno, "Cannot save file \"" + fileName + "\"");
    // The writer knows no file name; the user needs one in the message.
    const auto write = [&](int fd, const char* data, std::size_t size) {
        try {
            writer.Write(fd, data, size);
        } catch (const std::system_error& e) {
            throw std::system_error(e.code(), "Cannot write file \"" + fileName + "\"");
        }
    };
    if (target.Exists && !S_ISREG(target.Stat.st_mode)) {
        // A device or a pipe cannot be replaced by renaming; it is written to directly.
        TFd fd(::open(target.Path.c_str(), O_WRONLY | O_TRUNC | O_CLOEXEC));
        if (fd.Get() < 0)
            ThrowFileError(errno, "Cannot open file \"" + fileName + "\"");
        produce([&](const char* data, std::size_t size) { write(fd.Get(), data, size); });
        if (fd.Close() != 0)
            ThrowFileError(errno, "Cannot write file \"" + fileName + "\"");
        return;
    }

    // The old file stays whole until the new one is complete on disk: a failure at any point
    // before the rename leaves it untouched.
    TTempFile temp(target.Path);
    if (target.Exists) {
        // Best effort: only root may hand the file back to another owner, and a file system
        // without modes has none to keep.
        (void)!::fchown(temp.Fd(), target.Stat.st_uid, target.Stat.st_gid);
        (void)!::fchmod(temp.Fd(), target.Stat.st_mode & 07777);
    }
    // The disk starts on the file while the rest is still being made, so the final sync has
    // little left to wait for.
    uint64_t written = 0;
    uint64_t handedToDisk = 0;
    produce([&](const char* data, std::size_t size) {
        write(temp.Fd(), data, size);
        written += size;
#ifdef SYNC_FILE_RANGE_WRITE
        constexpr uint64_t Stride = 8 * 1024 * 1024;
        if (written - handedToDisk >= Stride) {
            (void)::sync_file_range(temp.Fd(), static_cast<off_t>(handedToDisk),
                                    static_cast<off_t>(written - handedToDisk),
                                    SYNC_FILE_RANGE_WRITE);
            handedToDisk = written;
        }
#endif
    });
    temp.CommitAs(target.Path);
    SyncDirectoryOf(target.Path);
}
