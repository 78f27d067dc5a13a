#include "model/FileSystem.h"

#include <algorithm>
#include <atomic>
#include <cerrno>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <limits>
#include <memory>
#include <mutex>
#include <string_view>
#include <type_traits>
#include <utility>
#include <vector>

#include <fcntl.h>
#include <signal.h>
#include <sys/acl.h>
#include <sys/mman.h>
#include <sys/stat.h>
#include <sys/xattr.h>
#include <unistd.h>

namespace FileSystem {

namespace {

std::error_code LastError() {
    return {errno, std::generic_category()};
}

int Fd(const TFile& File) {
    return static_cast<int>(File.Native());
}

// Runs a call that reports failure as -1 with errno until a signal no longer interrupts it.
template <class F> auto RetryInterrupted(F&& Call) {
    for (;;) {
        const auto Result = Call();
        if (Result >= 0 || errno != EINTR)
            return Result;
    }
}

TFile Opened(int Descriptor, std::error_code& Error) {
    if (Descriptor < 0)
        Error = LastError();
    else
        Error.clear();
    return TFile(Descriptor);
}

TFileIdentity IdentityOf(const struct stat& Status) {
    TFileIdentity Identity;
    Identity.Exists = true;
    Identity.Regular = S_ISREG(Status.st_mode);
    Identity.Link = S_ISLNK(Status.st_mode);
    Identity.Size = Identity.Regular ? static_cast<uint64_t>(Status.st_size) : 0;
    Identity.Links = static_cast<uint64_t>(Status.st_nlink);
    Identity.Device = static_cast<uint64_t>(Status.st_dev);
    Identity.Inode = static_cast<uint64_t>(Status.st_ino);
    return Identity;
}

} // namespace

TFile& TFile::operator=(TFile&& Other) noexcept {
    if (this != &Other) {
        (void)Close();
        Handle = Other.Release();
    }
    return *this;
}

TFile::~TFile() {
    (void)Close();
}

std::error_code TFile::Close() {
    const int Descriptor = static_cast<int>(Release());
    if (Descriptor < 0 || ::close(Descriptor) == 0)
        return {};
    return LastError();
}

TFileIdentity IdentifyFile(const std::string& Path) {
    struct stat Status {};
    return ::stat(Path.c_str(), &Status) == 0 ? IdentityOf(Status) : TFileIdentity{};
}

TFileIdentity IdentifyFile(const TFile& File) {
    struct stat Status {};
    return ::fstat(Fd(File), &Status) == 0 ? IdentityOf(Status) : TFileIdentity{};
}

TFile OpenForReading(const std::string& Path, std::error_code& Error) {
    return Opened(::open(Path.c_str(), O_RDONLY | O_CLOEXEC), Error);
}

TFile OpenStandardInput(std::error_code& Error) {
    return Opened(::fcntl(STDIN_FILENO, F_DUPFD_CLOEXEC, 0), Error);
}

TFile OpenStandardOutput(std::error_code& Error) {
    return Opened(::fcntl(STDOUT_FILENO, F_DUPFD_CLOEXEC, 0), Error);
}

TFile Reopen(const TFile& File, std::error_code& Error) {
    // A new open file description, unlike dup's, has a read position of its own.
    const std::string Path = "/proc/self/fd/" + std::to_string(Fd(File));
    return Opened(::open(Path.c_str(), O_RDONLY | O_CLOEXEC), Error);
}

std::size_t Read(const TFile& File, char* Buffer, std::size_t Size, std::error_code& Error) {
    const ssize_t Got = RetryInterrupted([&] { return ::read(Fd(File), Buffer, Size); });
    if (Got < 0) {
        Error = LastError();
        return 0;
    }
    Error.clear();
    return static_cast<std::size_t>(Got);
}

std::size_t ReadAt(const TFile& File, uint64_t Offset, char* Buffer, std::size_t Size,
                   std::error_code& Error) {
    if (Offset > static_cast<uint64_t>(std::numeric_limits<off_t>::max())) {
        Error.clear();
        return 0;
    }
    const ssize_t Got = RetryInterrupted(
        [&] { return ::pread(Fd(File), Buffer, Size, static_cast<off_t>(Offset)); });
    if (Got < 0) {
        Error = LastError();
        return 0;
    }
    Error.clear();
    return static_cast<std::size_t>(Got);
}

bool Rewind(const TFile& File) {
    return ::lseek(Fd(File), 0, SEEK_SET) == 0;
}

TSaveTarget ResolveSaveTarget(const std::string& Path, std::error_code& Error) {
    Error.clear();
    TSaveTarget Target;
    Target.Path = Path;
    for (int Hops = 0;; ++Hops) {
        struct stat Status {};
        if (::lstat(Target.Path.c_str(), &Status) != 0) {
            if (errno != ENOENT)
                Error = LastError();
            return Target;
        }
        Target.Status = IdentityOf(Status);
        if (!Target.Status.Link)
            return Target;
        if (Hops == 40) {
            Error = std::make_error_code(std::errc::too_many_symbolic_link_levels);
            return Target;
        }
        std::string Link(static_cast<std::size_t>(std::max<off_t>(Status.st_size, 0)) + 1, '\0');
        const ssize_t Got = ::readlink(Target.Path.c_str(), Link.data(), Link.size());
        if (Got < 0) {
            Error = LastError();
            return Target;
        }
        if (static_cast<std::size_t>(Got) >= Link.size()) { // the link changed under us
            Error = std::make_error_code(std::errc::filename_too_long);
            return Target;
        }
        Link.resize(static_cast<std::size_t>(Got));
        Target.Status = {};
        Target.Path = !Link.empty() && Link[0] == '/' ? Link : FolderOf(Target.Path) + Link;
    }
}

std::error_code CheckWritable(const std::string& Path) {
    return ::access(Path.c_str(), W_OK) == 0 ? std::error_code() : LastError();
}

TFile OpenForWriting(const std::string& Path, bool Truncate, std::error_code& Error) {
    return Opened(::open(Path.c_str(), O_WRONLY | O_CLOEXEC | (Truncate ? O_TRUNC : 0)), Error);
}

// A fixed prefix and six random characters, 13 bytes in all: within the 14 that every POSIX file
// system allows, so the name fits wherever the target fits, however long the target's own is.
TFile CreateTemporaryBeside(const std::string& Target, bool Private, std::string& TemporaryPath,
                            std::error_code& Error) {
    static constexpr char Alphabet[] = "0123456789abcdefghijklmnopqrstuvwxyz";
    uint64_t State =
        static_cast<uint64_t>(std::chrono::steady_clock::now().time_since_epoch().count()) ^
        (static_cast<uint64_t>(::getpid()) << 32);
    const std::string Folder = FolderOf(Target);
    for (int Attempt = 0; Attempt < 100; ++Attempt) {
        State = State * 6364136223846793005ull + 1442695040888963407ull;
        std::string Path = Folder + ".pdtmp-";
        for (uint64_t Bits = State >> 16, i = 0; i < 6; ++i, Bits /= 36)
            Path += Alphabet[Bits % 36];
        const int Descriptor =
            ::open(Path.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, Private ? 0600 : 0666);
        if (Descriptor >= 0) {
            TemporaryPath = std::move(Path);
            Error.clear();
            return TFile(Descriptor);
        }
        if (errno != EEXIST) {
            Error = LastError();
            return {};
        }
    }
    Error = std::make_error_code(std::errc::file_exists);
    return {};
}

TFile CreateUnnamedTemporary(std::string& Where, std::error_code& Error) {
    const char* const Folder = std::getenv("TMPDIR");
    std::string Pattern = std::string(Folder && *Folder ? Folder : "/tmp") + "/propdump-XXXXXX";
    TFile File = Opened(::mkstemp(Pattern.data()), Error);
    if (File.IsOpen())
        ::unlink(Pattern.c_str());
    Where = std::move(Pattern);
    return File;
}

std::error_code Write(const TFile& File, const char* Data, std::size_t Size) {
    while (Size > 0) {
        const ssize_t Put = RetryInterrupted([&] { return ::write(Fd(File), Data, Size); });
        if (Put < 0)
            return LastError();
        Data += Put;
        Size -= static_cast<std::size_t>(Put);
    }
    return {};
}

std::error_code Reserve(const TFile& File, uint64_t Size) {
#ifdef FALLOC_FL_KEEP_SIZE
    if (Size > 0 && ::fallocate(Fd(File), FALLOC_FL_KEEP_SIZE, 0, static_cast<off_t>(Size)) != 0 &&
        errno != EOPNOTSUPP && errno != ENOSYS)
        return LastError();
#else
    (void)File;
    (void)Size;
#endif
    return {};
}

std::error_code Resize(const TFile& File, uint64_t Size) {
    return ::ftruncate(Fd(File), static_cast<off_t>(Size)) == 0 ? std::error_code() : LastError();
}

void StartWriteBack(const TFile& File, uint64_t Offset, uint64_t Size) {
#ifdef SYNC_FILE_RANGE_WRITE
    (void)::sync_file_range(Fd(File), static_cast<off_t>(Offset), static_cast<off_t>(Size),
                            SYNC_FILE_RANGE_WRITE);
#else
    (void)File;
    (void)Offset;
    (void)Size;
#endif
}

std::error_code FlushToDisk(const TFile& File) {
    return ::fsync(Fd(File)) == 0 ? std::error_code() : LastError();
}

namespace {

bool Unsupported(int Error) {
    return Error == ENOTSUP || Error == EOPNOTSUPP || Error == ENOSYS;
}

struct TAclFree {
    void operator()(void* Acl) const { acl_free(Acl); }
};

// Always set, also when the old file has no entries beyond its mode: the new file may have
// taken entries from the folder's default ACL, and those must not stay.
bool CopyAccessAcl(const std::string& Path, int Descriptor) {
    const std::unique_ptr<std::remove_pointer_t<acl_t>, TAclFree> Acl(
        acl_get_file(Path.c_str(), ACL_TYPE_ACCESS));
    if (!Acl) // a file system without ACLs: the mode is all there is
        return Unsupported(errno);
    return acl_set_fd(Descriptor, Acl.get()) == 0;
}

// Reads a list or a value whose size may change between asking for it and reading it.
template <class F> bool ReadSized(std::vector<char>& Buffer, F&& ReadInto) {
    for (int Attempt = 0; Attempt < 8; ++Attempt) {
        ssize_t Got = ReadInto(nullptr, 0);
        if (Got < 0)
            return false;
        Buffer.resize(static_cast<std::size_t>(Got));
        if (Got == 0)
            return true;
        Got = ReadInto(Buffer.data(), Buffer.size());
        if (Got >= 0) {
            Buffer.resize(static_cast<std::size_t>(Got));
            return true;
        }
        if (errno != ERANGE)
            return false;
    }
    errno = ERANGE;
    return false;
}

bool CopyExtendedAttributes(const std::string& Path, int Descriptor) {
    std::vector<char> Names;
    if (!ReadSized(Names, [&](char* Into, std::size_t Size) {
            return ::listxattr(Path.c_str(), Into, Size);
        }))
        return Unsupported(errno);
    std::vector<char> Value;
    for (std::size_t At = 0; At < Names.size();) {
        const char* const Name = Names.data() + At;
        At += std::strlen(Name) + 1;
        if (std::string_view(Name).starts_with("system.posix_acl_"))
            continue; // copied as the ACL it is
        if (!ReadSized(Value, [&](char* Into, std::size_t Size) {
                return ::getxattr(Path.c_str(), Name, Into, Size);
            })) {
            if (errno == ENODATA) // removed meanwhile
                continue;
            return false;
        }
        if (::fsetxattr(Descriptor, Name, Value.data(), Value.size(), 0) != 0)
            return false;
    }
    return true;
}

} // namespace

std::error_code CopyMetadata(const std::string& From, const TFile& To) {
    struct stat Old {};
    struct stat Now {};
    if (::stat(From.c_str(), &Old) != 0 || ::fstat(Fd(To), &Now) != 0)
        return LastError();
    // Only root may give a file away; anyone else keeps owner and group only when they are
    // already the new file's.
    if ((Now.st_uid != Old.st_uid || Now.st_gid != Old.st_gid) &&
        ::fchown(Fd(To), Old.st_uid, Old.st_gid) != 0)
        return LastError();
    if (::fchmod(Fd(To), Old.st_mode & 07777) != 0)
        return LastError();
    if (!CopyAccessAcl(From, Fd(To)) || !CopyExtendedAttributes(From, Fd(To)))
        return LastError();
    return {};
}

std::error_code RenameOver(const std::string& From, const std::string& To) {
    return ::rename(From.c_str(), To.c_str()) == 0 ? std::error_code() : LastError();
}

void RemoveFile(const std::string& Path) {
    ::unlink(Path.c_str());
}

void SyncFolderOf(const std::string& Path) {
    const std::string Folder = FolderOf(Path);
    const int Descriptor =
        ::open(Folder.empty() ? "." : Folder.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (Descriptor < 0)
        return;
    (void)::fsync(Descriptor);
    ::close(Descriptor);
}

std::string FolderOf(const std::string& Path) {
    const std::size_t Slash = Path.rfind('/');
    return Slash == std::string::npos ? std::string() : Path.substr(0, Slash + 1);
}

std::string CurrentFolder() {
    std::string Current(4096, '\0');
    return ::getcwd(Current.data(), Current.size()) ? Current.c_str() : ".";
}

namespace {

constexpr int EndingSignals[] = {SIGINT, SIGTERM, SIGHUP};
enum { SlotFree, SlotFilling, SlotWatched };

char TemporaryPath[4096];
std::atomic<int> TemporarySlot = SlotFree;
std::atomic<int> HeldBack = 0;
std::atomic<int> Pending = 0;

void EndBy(int Signal) {
    struct sigaction Standard {};
    Standard.sa_handler = SIG_DFL;
    sigemptyset(&Standard.sa_mask);
    ::sigaction(Signal, &Standard, nullptr);
    ::raise(Signal);
}

void OnEndingSignal(int Signal) {
    if (HeldBack > 0) {
        Pending = Signal;
        return;
    }
    if (TemporarySlot == SlotWatched)
        ::unlink(TemporaryPath);
    EndBy(Signal);
}

} // namespace

void InstallSaveSignals() {
    static std::once_flag Once;
    std::call_once(Once, [] {
        for (const int Signal : EndingSignals) {
            struct sigaction Old {};
            // A handler or an ignored signal that the program chose stays as it is.
            if (::sigaction(Signal, nullptr, &Old) != 0 || (Old.sa_flags & SA_SIGINFO) != 0 ||
                Old.sa_handler != SIG_DFL)
                continue;
            struct sigaction Action {};
            Action.sa_handler = &OnEndingSignal;
            sigemptyset(&Action.sa_mask);
            for (const int Other : EndingSignals)
                sigaddset(&Action.sa_mask, Other);
            ::sigaction(Signal, &Action, nullptr);
        }
    });
}

bool WatchTemporary(const std::string& Path) {
    int Free = SlotFree;
    if (Path.size() >= sizeof TemporaryPath ||
        !TemporarySlot.compare_exchange_strong(Free, SlotFilling))
        return false;
    std::memcpy(TemporaryPath, Path.c_str(), Path.size() + 1);
    TemporarySlot = SlotWatched;
    return true;
}

void ForgetTemporary() {
    TemporarySlot = SlotFree;
}

THeldSignals::THeldSignals() {
    ++HeldBack;
}

THeldSignals::~THeldSignals() {
    if (--HeldBack == 0 && Pending != 0)
        EndBy(Pending);
}

bool IsTerminal(TStandardStream Stream) {
    const int Descriptor = Stream == TStandardStream::Input    ? STDIN_FILENO
                           : Stream == TStandardStream::Output ? STDOUT_FILENO
                                                               : STDERR_FILENO;
    return ::isatty(Descriptor) == 1;
}

void UseBinaryStandardOutput() {}

std::size_t PhysicalMemoryBytes() {
    const long Pages = ::sysconf(_SC_PHYS_PAGES);
    const long PageSize = ::sysconf(_SC_PAGESIZE);
    if (Pages <= 0 || PageSize <= 0)
        return 0;
    const auto Count = static_cast<unsigned long long>(Pages);
    const auto Size = static_cast<unsigned long long>(PageSize);
    // A 32-bit build on a machine with more memory than it can count takes what it can count.
    if (Count > std::numeric_limits<std::size_t>::max() / Size)
        return std::numeric_limits<std::size_t>::max();
    return static_cast<std::size_t>(Count * Size);
}

namespace {

// The whole pages inside [Begin, Begin + Size): the pages at either end may also hold some of
// the allocator's own bookkeeping, which is better left as it is.
std::pair<uintptr_t, uintptr_t> PagesOf(void* Begin, std::size_t Size) {
    const auto Page = static_cast<uintptr_t>(::sysconf(_SC_PAGESIZE));
    const auto First = reinterpret_cast<uintptr_t>(Begin);
    const uintptr_t Inner = (First + Page - 1) & ~(Page - 1);
    const uintptr_t End = (First + Size) & ~(Page - 1);
    return {Inner, std::max(Inner, End)};
}

} // namespace

void AdviseLargeAllocation(void* Begin, std::size_t Size) {
#ifdef MADV_HUGEPAGE
    const auto [First, Last] = PagesOf(Begin, Size);
    (void)::madvise(reinterpret_cast<void*>(First), Last - First, MADV_HUGEPAGE);
#else
    (void)Begin;
    (void)Size;
#endif
}

void PrefaultForWriting(void* Begin, std::size_t Size) {
#ifdef MADV_POPULATE_WRITE
    const auto [First, Last] = PagesOf(Begin, Size);
    (void)::madvise(reinterpret_cast<void*>(First), Last - First, MADV_POPULATE_WRITE);
#else
    (void)Begin;
    (void)Size;
#endif
}

const char* FindLastByte(const char* Begin, std::size_t Size, char Byte) {
    return static_cast<const char*>(::memrchr(Begin, Byte, Size));
}

} // namespace FileSystem
