#include "model/FileIo.h"

#include "model/FileMetadata.h"

#include <algorithm>
#include <atomic>
#include <chrono>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <memory>
#include <mutex>
#include <system_error>

#include <fcntl.h>
#include <signal.h>
#include <sys/stat.h>

void ThrowFileError(int error, const std::string& what) {
    throw std::system_error(error, std::generic_category(), what);
}

std::size_t ReadFile(int Fd, char* Buffer, std::size_t Size, const std::string& Name) {
    for (;;) {
        const ssize_t n = ::read(Fd, Buffer, Size);
        if (n >= 0)
            return static_cast<std::size_t>(n);
        if (errno != EINTR)
            ThrowFileError(errno, "Cannot read file \"" + Name + "\"");
    }
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

TFileIdentity IdentifyFile(const std::string& Path) {
    struct stat status {};
    if (::stat(Path.c_str(), &status) != 0)
        return {};
    return {true, S_ISREG(status.st_mode), static_cast<uint64_t>(status.st_dev),
            static_cast<uint64_t>(status.st_ino)};
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

// Ctrl+C, SIGTERM and SIGHUP end the process as they always did, but not before the temporary
// file of a save in progress is removed, and not while a file is being written over in place:
// that finishes first, so the file is never left half old, half new by them.
class TSaveSignals {
public:
    static void Install() {
        static std::once_flag once;
        std::call_once(once, [] {
            for (const int signal : Signals) {
                struct sigaction old {};
                // A handler or an ignored signal that the program chose stays as it is.
                if (::sigaction(signal, nullptr, &old) != 0 || (old.sa_flags & SA_SIGINFO) != 0 ||
                    old.sa_handler != SIG_DFL)
                    continue;
                struct sigaction action {};
                action.sa_handler = &OnSignal;
                sigemptyset(&action.sa_mask);
                for (const int other : Signals)
                    sigaddset(&action.sa_mask, other);
                ::sigaction(signal, &action, nullptr);
            }
        });
    }

    // The temporary file a signal removes; one at a time, later ones are not watched.
    static bool WatchTemporary(const std::string& path) {
        int free = SlotFree;
        if (path.size() >= sizeof TemporaryPath ||
            !TemporarySlot.compare_exchange_strong(free, SlotFilling))
            return false;
        std::memcpy(TemporaryPath, path.c_str(), path.size() + 1);
        TemporarySlot = SlotWatched;
        return true;
    }
    static void ForgetTemporary() { TemporarySlot = SlotFree; }

    // Holds the three signals back for its lifetime, then lets one that came meanwhile end the
    // process.
    class TInPlaceWrite {
    public:
        TInPlaceWrite() { ++InPlaceWrites; }
        TInPlaceWrite(const TInPlaceWrite&) = delete;
        TInPlaceWrite& operator=(const TInPlaceWrite&) = delete;
        ~TInPlaceWrite() {
            if (--InPlaceWrites == 0 && Pending != 0)
                EndBy(Pending);
        }
    };

private:
    static constexpr int Signals[] = {SIGINT, SIGTERM, SIGHUP};
    enum { SlotFree, SlotFilling, SlotWatched };

    static void EndBy(int signal) {
        struct sigaction standard {};
        standard.sa_handler = SIG_DFL;
        sigemptyset(&standard.sa_mask);
        ::sigaction(signal, &standard, nullptr);
        ::raise(signal);
    }

    static void OnSignal(int signal) {
        if (InPlaceWrites > 0) {
            Pending = signal;
            return;
        }
        if (TemporarySlot == SlotWatched)
            ::unlink(TemporaryPath);
        EndBy(signal);
    }

    static inline char TemporaryPath[4096];
    static inline std::atomic<int> TemporarySlot = SlotFree;
    static inline std::atomic<int> InPlaceWrites = 0;
    static inline std::atomic<int> Pending = 0;
};

// Where a folder-related error names the folder: the current one when the name has none.
std::string FolderName(const std::string& path) {
    std::string folder = DirectoryOf(path);
    if (folder.size() > 1)
        folder.pop_back();
    if (!folder.empty())
        return folder;
    std::string current(4096, '\0');
    return ::getcwd(current.data(), current.size()) ? current.c_str() : ".";
}

// A temporary file beside the target, removed again unless it was renamed over the target. Its
// name is a fixed prefix and six random characters, 13 bytes in all: within the 14 that every
// POSIX file system allows, so it fits wherever the target fits, however long the target's own
// name is.
class TTempFile {
public:
    static constexpr char Prefix[] = ".pdtmp-";

    // Null, with errno set, when the folder takes no new file.
    static std::unique_ptr<TTempFile> Create(const std::string& target, mode_t mode) {
        static constexpr char alphabet[] = "0123456789abcdefghijklmnopqrstuvwxyz";
        uint64_t state =
            static_cast<uint64_t>(std::chrono::steady_clock::now().time_since_epoch().count()) ^
            (static_cast<uint64_t>(::getpid()) << 32);
        const std::string folder = DirectoryOf(target);
        for (int attempt = 0; attempt < 100; ++attempt) {
            state = state * 6364136223846793005ull + 1442695040888963407ull;
            std::string path = folder + Prefix;
            for (uint64_t bits = state >> 16, i = 0; i < 6; ++i, bits /= 36)
                path += alphabet[bits % 36];
            const int fd = ::open(path.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, mode);
            if (fd < 0 && errno == EEXIST)
                continue;
            if (fd < 0)
                return nullptr;
            // Should there be no memory left to hold it, the new file goes again.
            try {
                return std::unique_ptr<TTempFile>(new TTempFile(path, fd));
            } catch (...) {
                ::close(fd);
                ::unlink(path.c_str());
                throw;
            }
        }
        errno = EEXIST;
        return nullptr;
    }
    TTempFile(const TTempFile&) = delete;
    TTempFile& operator=(const TTempFile&) = delete;
    ~TTempFile() {
        if (!File)
            return;
        File->Close();
        ::unlink(Path.c_str());
        if (Watched)
            TSaveSignals::ForgetTemporary();
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
        if (Watched)
            TSaveSignals::ForgetTemporary();
    }

private:
    TTempFile(std::string path, int fd)
        : Path(std::move(path)), File(std::make_unique<TFd>(fd)),
          Watched(TSaveSignals::WatchTemporary(Path)) {}

    std::string Path;
    std::unique_ptr<TFd> File;
    bool Watched;
};

void SyncDirectoryOf(const std::string& path) {
    const std::string dir = DirectoryOf(path);
    TFd fd(::open(dir.empty() ? "." : dir.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC));
    // The rename is done; a folder that cannot be synced only loses durability, not data.
    if (fd.Get() >= 0)
        ::fsync(fd.Get());
}

using TWrite = std::function<void(int, const char*, std::size_t)>;
using TProduce = std::function<void(const TByteSink&)>;

// For a file that a new one renamed over it could not stand in for. The new content is made
// whole in memory before the file is touched, room for it is taken on the disk, and the three
// ending signals wait until it is written, cut to size and flushed.
void WriteInPlace(const TSaveTarget& target, const std::string& fileName, const TWrite& write,
                  const TProduce& produce) {
    std::string content;
    produce([&](const char* data, std::size_t size) { content.append(data, size); });
    TFd fd(::open(target.Path.c_str(), O_WRONLY | O_CLOEXEC));
    if (fd.Get() < 0)
        ThrowFileError(errno, "Cannot open file \"" + fileName + "\"");
#ifdef FALLOC_FL_KEEP_SIZE
    // A full disk found here costs nothing; found half-way through the writing, it would.
    if (!content.empty() &&
        ::fallocate(fd.Get(), FALLOC_FL_KEEP_SIZE, 0, static_cast<off_t>(content.size())) != 0 &&
        errno != EOPNOTSUPP && errno != ENOSYS)
        ThrowFileError(errno, "Cannot save file \"" + fileName + "\"");
#endif
    const TSaveSignals::TInPlaceWrite holdSignals;
    try {
        write(fd.Get(), content.data(), content.size());
        if (::ftruncate(fd.Get(), static_cast<off_t>(content.size())) != 0 ||
            ::fsync(fd.Get()) != 0 || fd.Close() != 0)
            ThrowFileError(errno, "Cannot write file \"" + fileName + "\"");
    } catch (const std::system_error& e) {
        throw std::system_error(e.code(), std::string(e.what()) +
                                              " (written over its old content, which is now "
                                              "partly overwritten)");
    }
}

} // namespace

void SaveFileAtomically(const std::string& fileName, TFileWriter& writer,
                        const std::function<void(const TByteSink&)>& produce) {
    if (fileName.empty())
        ThrowFileError(ENOENT, "Cannot save a document without a file name");
    TSaveSignals::Install();
    const TSaveTarget target = ResolveSaveTarget(fileName);
    // Renaming over a file the user may not write would quietly undo a write protection.
    if (target.Exists && ::access(target.Path.c_str(), W_OK) != 0)
        ThrowFileError(errno, "Cannot save file \"" + fileName + "\"");
    // The writer knows no file name; the user needs one in the message.
    const TWrite write = [&](int fd, const char* data, std::size_t size) {
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
    // A new file renamed over the old one would part it from its other names.
    if (target.Exists && target.Stat.st_nlink > 1)
        return WriteInPlace(target, fileName, write, produce);

    // Private until it is the old file's equal: the content may be the user's secret.
    std::unique_ptr<TTempFile> temp = TTempFile::Create(target.Path, target.Exists ? 0600 : 0666);
    if (!temp) {
        // A folder the user may not write, holding a file they may.
        if (target.Exists && (errno == EACCES || errno == EPERM))
            return WriteInPlace(target, fileName, write, produce);
        ThrowFileError(errno, "Cannot save file \"" + fileName +
                                  "\": no new file can be made in "
                                  "folder \"" +
                                  FolderName(target.Path) + "\"");
    }
    // What the new file cannot be given (another user's file, an attribute the process may not
    // set) would be lost by the rename; written in place, the file keeps all of it.
    if (target.Exists && !CopyFileMetadata(target.Path, target.Stat, temp->Fd())) {
        temp.reset();
        return WriteInPlace(target, fileName, write, produce);
    }
    // The disk starts on the file while the rest is still being made, so the final sync has
    // little left to wait for.
    uint64_t written = 0;
    uint64_t handedToDisk = 0;
    produce([&](const char* data, std::size_t size) {
        write(temp->Fd(), data, size);
        written += size;
#ifdef SYNC_FILE_RANGE_WRITE
        constexpr uint64_t Stride = 8 * 1024 * 1024;
        if (written - handedToDisk >= Stride) {
            (void)::sync_file_range(temp->Fd(), static_cast<off_t>(handedToDisk),
                                    static_cast<off_t>(written - handedToDisk),
                                    SYNC_FILE_RANGE_WRITE);
            handedToDisk = written;
        }
#endif
    });
    temp->CommitAs(target.Path);
    SyncDirectoryOf(target.Path);
}
