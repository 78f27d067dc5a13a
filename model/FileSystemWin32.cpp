#include "model/FileSystem.h"

#include "model/Utf16Win32.h"

#include <algorithm>
#include <atomic>
#include <chrono>
#include <cstdint>
#include <cstdlib>
#include <cwchar>
#include <limits>
#include <memory>
#include <mutex>
#include <string_view>
#include <vector>

#include <fcntl.h>
#include <io.h>
#include <stdio.h>

#include <windows.h>

#include <aclapi.h>

namespace FileSystem {

namespace {

// Every file is opened so that other programs (and our own second handles) may go on reading,
// writing, renaming and deleting it: a save renames over a file the tool may still be reading.
constexpr DWORD ShareAll = FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE;
// ReadFile and WriteFile count in DWORDs.
constexpr std::size_t MostPerCall = std::size_t{1} << 30;

HANDLE Handle(const TFile& File) {
    return reinterpret_cast<HANDLE>(File.Native());
}

TNativeFile NativeOf(HANDLE Opened) {
    return Opened == INVALID_HANDLE_VALUE || Opened == nullptr ? NoFile
                                                               : reinterpret_cast<TNativeFile>(Opened);
}

// A file another program holds open without sharing it: Windows' own text ("being used by
// another process") does not say what the user can do about it.
class TInUseCategory : public std::error_category {
public:
    const char* name() const noexcept override { return "in use"; }
    std::string message(int) const override {
        return "The file is open in another program; close it there and try again";
    }
    std::error_condition default_error_condition(int) const noexcept override {
        return std::errc::device_or_resource_busy;
    }
};

const std::error_category& InUse() {
    static const TInUseCategory Category;
    return Category;
}

// Windows' errors as the errno values the rest of the program knows, so that messages read as
// they do on other systems and callers can compare them with std::errc.
std::error_code ErrorFrom(DWORD Code) {
    struct TMapping {
        DWORD Code;
        std::errc Condition;
    };
    static constexpr TMapping Mappings[] = {
        {ERROR_FILE_NOT_FOUND, std::errc::no_such_file_or_directory},
        {ERROR_PATH_NOT_FOUND, std::errc::no_such_file_or_directory},
        {ERROR_INVALID_DRIVE, std::errc::no_such_file_or_directory},
        {ERROR_BAD_NETPATH, std::errc::no_such_file_or_directory},
        {ERROR_BAD_NET_NAME, std::errc::no_such_file_or_directory},
        {ERROR_ACCESS_DENIED, std::errc::permission_denied},
        {ERROR_WRITE_PROTECT, std::errc::permission_denied},
        {ERROR_PRIVILEGE_NOT_HELD, std::errc::operation_not_permitted},
        {ERROR_INVALID_OWNER, std::errc::operation_not_permitted},
        {ERROR_DISK_FULL, std::errc::no_space_on_device},
        {ERROR_HANDLE_DISK_FULL, std::errc::no_space_on_device},
        {ERROR_FILE_EXISTS, std::errc::file_exists},
        {ERROR_ALREADY_EXISTS, std::errc::file_exists},
        {ERROR_FILENAME_EXCED_RANGE, std::errc::filename_too_long},
        {ERROR_DIRECTORY, std::errc::not_a_directory},
        {ERROR_INVALID_NAME, std::errc::invalid_argument},
        {ERROR_BAD_PATHNAME, std::errc::invalid_argument},
        {ERROR_NOT_ENOUGH_MEMORY, std::errc::not_enough_memory},
        {ERROR_OUTOFMEMORY, std::errc::not_enough_memory},
        {ERROR_TOO_MANY_OPEN_FILES, std::errc::too_many_files_open},
        {ERROR_NOT_SAME_DEVICE, std::errc::cross_device_link},
        {ERROR_DIR_NOT_EMPTY, std::errc::directory_not_empty},
        {ERROR_BROKEN_PIPE, std::errc::broken_pipe},
        {ERROR_NO_DATA, std::errc::broken_pipe},
        {ERROR_INVALID_HANDLE, std::errc::bad_file_descriptor},
        {ERROR_NOT_READY, std::errc::io_error},
        {ERROR_CRC, std::errc::io_error},
        {ERROR_READ_FAULT, std::errc::io_error},
        {ERROR_WRITE_FAULT, std::errc::io_error},
        {ERROR_GEN_FAILURE, std::errc::io_error},
        {ERROR_CANT_RESOLVE_FILENAME, std::errc::too_many_symbolic_link_levels},
        {ERROR_NOT_SUPPORTED, std::errc::not_supported},
        {ERROR_CALL_NOT_IMPLEMENTED, std::errc::not_supported},
    };
    if (Code == ERROR_SHARING_VIOLATION || Code == ERROR_LOCK_VIOLATION)
        return {static_cast<int>(Code), InUse()};
    for (const TMapping& Mapping : Mappings)
        if (Mapping.Code == Code)
            return std::make_error_code(Mapping.Condition);
    return {static_cast<int>(Code), std::system_category()};
}

std::error_code LastError() {
    return ErrorFrom(::GetLastError());
}

bool IsSeparator(wchar_t Character) {
    return Character == L'\\' || Character == L'/';
}

std::wstring FullPath(const std::wstring& Path) {
    std::wstring Full(::GetFullPathNameW(Path.c_str(), 0, nullptr, nullptr), L'\0');
    const DWORD Length =
        ::GetFullPathNameW(Path.c_str(), static_cast<DWORD>(Full.size()), Full.data(), nullptr);
    if (Length == 0 || Length >= Full.size())
        return Path;
    Full.resize(Length);
    return Full;
}

// Windows takes paths of more than 260 characters only whole and marked "\\?\", a form that
// knows no "/", "." or "..": long paths are made full first.
std::wstring WidePath(const std::string& Path) {
    std::wstring Wide = Utf16(Path);
    if (Wide.size() < MAX_PATH - 20 || Wide.starts_with(L"\\\\?\\"))
        return Wide;
    const std::wstring Full = FullPath(Wide);
    if (Full.size() > 2 && IsSeparator(Full[0]) && IsSeparator(Full[1]))
        return L"\\\\?\\UNC\\" + Full.substr(2);
    return L"\\\\?\\" + Full;
}

// Windows' errors for a path say less than other systems' do: "access denied" for a folder
// opened as a file, "path not found" where a part of the path is a file. The user is told what
// other systems tell.
std::error_code PathError(const std::wstring& Path, DWORD Code) {
    if (Code == ERROR_ACCESS_DENIED) {
        const DWORD Attributes = ::GetFileAttributesW(Path.c_str());
        if (Attributes != INVALID_FILE_ATTRIBUTES && (Attributes & FILE_ATTRIBUTE_DIRECTORY) != 0)
            return std::make_error_code(std::errc::is_a_directory);
    }
    if (Code == ERROR_PATH_NOT_FOUND || Code == ERROR_DIRECTORY)
        for (std::size_t End = Path.find_last_of(L"\\/"); End != std::wstring::npos && End > 0;
             End = Path.find_last_of(L"\\/", End - 1)) {
            const DWORD Attributes = ::GetFileAttributesW(Path.substr(0, End).c_str());
            if (Attributes == INVALID_FILE_ATTRIBUTES)
                continue;
            if ((Attributes & FILE_ATTRIBUTE_DIRECTORY) == 0)
                return std::make_error_code(std::errc::not_a_directory);
            break;
        }
    return ErrorFrom(Code);
}

TFile Opened(HANDLE Handle, const std::string& Path, std::error_code& Error) {
    if (NativeOf(Handle) == NoFile) {
        const DWORD Code = ::GetLastError();
        Error = PathError(WidePath(Path), Code);
    } else {
        Error.clear();
    }
    return TFile(NativeOf(Handle));
}

bool OnDisk(HANDLE Handle) {
    return ::GetFileType(Handle) == FILE_TYPE_DISK;
}

// Pipes, consoles and devices have no file index; no two of them count as the same file.
uint64_t UnlikeAnyOther() {
    static std::atomic<uint64_t> Next = 1;
    return Next++;
}

TFileIdentity IdentityOf(HANDLE Handle) {
    TFileIdentity Identity;
    if (NativeOf(Handle) == NoFile)
        return Identity;
    Identity.Exists = true;
    BY_HANDLE_FILE_INFORMATION Information{};
    if (!OnDisk(Handle) || !::GetFileInformationByHandle(Handle, &Information)) {
        Identity.Device = std::numeric_limits<uint64_t>::max();
        Identity.Inode = UnlikeAnyOther();
        return Identity;
    }
    Identity.Regular = (Information.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) == 0;
    Identity.Link = (Information.dwFileAttributes & FILE_ATTRIBUTE_REPARSE_POINT) != 0;
    if (Identity.Regular)
        Identity.Size = (uint64_t{Information.nFileSizeHigh} << 32) | Information.nFileSizeLow;
    Identity.Links = Information.nNumberOfLinks;
    Identity.Device = Information.dwVolumeSerialNumber;
    Identity.Inode = (uint64_t{Information.nFileIndexHigh} << 32) | Information.nFileIndexLow;
    return Identity;
}

// Opens what Path names for looking at only; folders included.
HANDLE OpenToLookAt(const std::string& Path, DWORD Flags = 0) {
    return ::CreateFileW(WidePath(Path).c_str(), FILE_READ_ATTRIBUTES, ShareAll, nullptr,
                         OPEN_EXISTING, FILE_FLAG_BACKUP_SEMANTICS | Flags, nullptr);
}

struct THandleCloser {
    void operator()(HANDLE Handle) const {
        if (NativeOf(Handle) != NoFile)
            ::CloseHandle(Handle);
    }
};
using TOwnedHandle = std::unique_ptr<void, THandleCloser>;

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
    const TNativeFile Native = Release();
    if (Native == NoFile || ::CloseHandle(reinterpret_cast<HANDLE>(Native)))
        return {};
    return LastError();
}

TFileIdentity IdentifyFile(const std::string& Path) {
    const TOwnedHandle Looked(OpenToLookAt(Path));
    return IdentityOf(Looked.get());
}

TFileIdentity IdentifyFile(const TFile& File) {
    return IdentityOf(Handle(File));
}

TFile OpenForReading(const std::string& Path, std::error_code& Error) {
    return Opened(::CreateFileW(WidePath(Path).c_str(), GENERIC_READ, ShareAll, nullptr,
                                OPEN_EXISTING, FILE_FLAG_SEQUENTIAL_SCAN, nullptr),
                  Path, Error);
}

namespace {

TFile OwnCopyOf(DWORD Which, std::error_code& Error) {
    const HANDLE Standard = ::GetStdHandle(Which);
    HANDLE Copy = nullptr;
    if (NativeOf(Standard) == NoFile ||
        !::DuplicateHandle(::GetCurrentProcess(), Standard, ::GetCurrentProcess(), &Copy, 0,
                           FALSE, DUPLICATE_SAME_ACCESS)) {
        Error = NativeOf(Standard) == NoFile ? std::make_error_code(std::errc::bad_file_descriptor)
                                             : LastError();
        return {};
    }
    Error.clear();
    return TFile(NativeOf(Copy));
}

} // namespace

TFile OpenStandardInput(std::error_code& Error) {
    return OwnCopyOf(STD_INPUT_HANDLE, Error);
}

TFile OpenStandardOutput(std::error_code& Error) {
    return OwnCopyOf(STD_OUTPUT_HANDLE, Error);
}

TFile Reopen(const TFile& File, std::error_code& Error) {
    const HANDLE Again = ::ReOpenFile(Handle(File), GENERIC_READ, ShareAll, 0);
    if (NativeOf(Again) == NoFile)
        Error = LastError();
    else
        Error.clear();
    return TFile(NativeOf(Again));
}

namespace {

// A pipe whose writer has gone, and a read at the end, are the end of the input, not errors.
std::size_t ReadSome(HANDLE From, OVERLAPPED* At, char* Buffer, std::size_t Size,
                     std::error_code& Error) {
    DWORD Got = 0;
    Error.clear();
    if (::ReadFile(From, Buffer, static_cast<DWORD>(std::min(Size, MostPerCall)), &Got, At))
        return Got;
    const DWORD Code = ::GetLastError();
    if (Code != ERROR_BROKEN_PIPE && Code != ERROR_HANDLE_EOF)
        Error = ErrorFrom(Code);
    return 0;
}

} // namespace

std::size_t Read(const TFile& File, char* Buffer, std::size_t Size, std::error_code& Error) {
    return ReadSome(Handle(File), nullptr, Buffer, Size, Error);
}

// A synchronous handle serialises reads at offsets, so several threads may share it; each such
// read also moves the handle's read position, which the readers at offsets never use.
std::size_t ReadAt(const TFile& File, uint64_t Offset, char* Buffer, std::size_t Size,
                   std::error_code& Error) {
    OVERLAPPED At{};
    At.Offset = static_cast<DWORD>(Offset);
    At.OffsetHigh = static_cast<DWORD>(Offset >> 32);
    return ReadSome(Handle(File), &At, Buffer, Size, Error);
}

bool Rewind(const TFile& File) {
    return OnDisk(Handle(File)) && ::SetFilePointerEx(Handle(File), {}, nullptr, FILE_BEGIN);
}

namespace {

// The path of the file a handle stands for, without the "\\?\" that Windows puts before it
// when the rest is an ordinary path.
std::string FinalPathOf(HANDLE Handle, std::error_code& Error) {
    std::wstring Final(MAX_PATH, L'\0');
    for (;;) {
        const DWORD Length = ::GetFinalPathNameByHandleW(
            Handle, Final.data(), static_cast<DWORD>(Final.size()), FILE_NAME_NORMALIZED);
        if (Length == 0) {
            Error = LastError();
            return {};
        }
        if (Length < Final.size()) {
            Final.resize(Length);
            break;
        }
        Final.resize(Length + 1);
    }
    if (Final.starts_with(L"\\\\?\\UNC\\"))
        Final = L"\\\\" + Final.substr(8);
    else if (Final.starts_with(L"\\\\?\\") && Final.size() < MAX_PATH)
        Final = Final.substr(4);
    return Utf8(Final);
}

} // namespace

TSaveTarget ResolveSaveTarget(const std::string& Path, std::error_code& Error) {
    Error.clear();
    TSaveTarget Target;
    Target.Path = Path;
    const DWORD Attributes = ::GetFileAttributesW(WidePath(Path).c_str());
    if (Attributes == INVALID_FILE_ATTRIBUTES) {
        const DWORD Code = ::GetLastError();
        if (Code != ERROR_FILE_NOT_FOUND && Code != ERROR_PATH_NOT_FOUND)
            Error = PathError(WidePath(Path), Code);
        return Target;
    }
    const TOwnedHandle Looked(OpenToLookAt(Path));
    if (NativeOf(Looked.get()) == NoFile) {
        // A link whose target is gone: the save creates the target, as it does elsewhere.
        if ((Attributes & FILE_ATTRIBUTE_REPARSE_POINT) == 0)
            Error = LastError();
        return Target;
    }
    if ((Attributes & FILE_ATTRIBUTE_REPARSE_POINT) != 0) {
        Target.Path = FinalPathOf(Looked.get(), Error);
        if (Error)
            return Target;
    }
    Target.Status = IdentityOf(Looked.get());
    return Target;
}

std::error_code CheckWritable(const std::string& Path) {
    const std::wstring Wide = WidePath(Path);
    const DWORD Attributes = ::GetFileAttributesW(Wide.c_str());
    if (Attributes == INVALID_FILE_ATTRIBUTES)
        return LastError();
    if ((Attributes & FILE_ATTRIBUTE_DIRECTORY) != 0)
        return {};
    if ((Attributes & FILE_ATTRIBUTE_READONLY) != 0)
        return std::make_error_code(std::errc::permission_denied);
    // Asked as a writer would ask, so that a file another program holds shows here, before any
    // work is done.
    const TOwnedHandle Probe(
        ::CreateFileW(Wide.c_str(), GENERIC_WRITE, ShareAll, nullptr, OPEN_EXISTING, 0, nullptr));
    return NativeOf(Probe.get()) == NoFile ? LastError() : std::error_code();
}

TFile OpenForWriting(const std::string& Path, bool Truncate, std::error_code& Error) {
    TFile File = Opened(::CreateFileW(WidePath(Path).c_str(), GENERIC_WRITE, ShareAll, nullptr,
                                      OPEN_EXISTING, 0, nullptr),
                        Path, Error);
    if (File.IsOpen() && Truncate && OnDisk(Handle(File)))
        if (const std::error_code Cut = Resize(File, 0)) {
            Error = Cut;
            return {};
        }
    return File;
}

namespace {

// ".pdtmp-" and six random characters, as the other systems' saves name theirs.
std::wstring RandomName(std::wstring_view Prefix) {
    static constexpr wchar_t Alphabet[] = L"0123456789abcdefghijklmnopqrstuvwxyz";
    static std::atomic<uint64_t> State =
        static_cast<uint64_t>(std::chrono::steady_clock::now().time_since_epoch().count()) ^
        (uint64_t{::GetCurrentProcessId()} << 32);
    const uint64_t Drawn = State.fetch_add(0x9E3779B97F4A7C15ull) * 6364136223846793005ull +
                           1442695040888963407ull;
    std::wstring Name(Prefix);
    for (uint64_t Bits = Drawn >> 16, i = 0; i < 6; ++i, Bits /= 36)
        Name += Alphabet[Bits % 36];
    return Name;
}

struct TLocalFree {
    void operator()(void* Memory) const { ::LocalFree(Memory); }
};

// A security descriptor that lets the user who runs us, and no one else, at the file.
class TOwnerOnly {
public:
    TOwnerOnly() {
        HANDLE Token = nullptr;
        if (!::OpenProcessToken(::GetCurrentProcess(), TOKEN_QUERY, &Token))
            return;
        const TOwnedHandle Owned(Token);
        DWORD Size = 0;
        ::GetTokenInformation(Token, TokenUser, nullptr, 0, &Size);
        User.resize(Size);
        if (Size == 0 || !::GetTokenInformation(Token, TokenUser, User.data(), Size, &Size))
            return;
        const PSID Sid = reinterpret_cast<TOKEN_USER*>(User.data())->User.Sid;
        EXPLICIT_ACCESS_W Access{};
        Access.grfAccessPermissions = FILE_ALL_ACCESS;
        Access.grfAccessMode = SET_ACCESS;
        Access.grfInheritance = NO_INHERITANCE;
        Access.Trustee.TrusteeForm = TRUSTEE_IS_SID;
        Access.Trustee.TrusteeType = TRUSTEE_IS_USER;
        Access.Trustee.ptstrName = static_cast<LPWSTR>(Sid);
        PACL Acl = nullptr;
        if (::SetEntriesInAclW(1, &Access, nullptr, &Acl) != ERROR_SUCCESS)
            return;
        AclMemory.reset(Acl);
        if (!::InitializeSecurityDescriptor(&Descriptor, SECURITY_DESCRIPTOR_REVISION) ||
            !::SetSecurityDescriptorDacl(&Descriptor, TRUE, Acl, FALSE) ||
            !::SetSecurityDescriptorControl(&Descriptor, SE_DACL_PROTECTED, SE_DACL_PROTECTED))
            return;
        Attributes.nLength = sizeof Attributes;
        Attributes.lpSecurityDescriptor = &Descriptor;
        Ready = true;
    }
    // Null where the system cannot make one: the file then gets the folder's permissions.
    SECURITY_ATTRIBUTES* Get() { return Ready ? &Attributes : nullptr; }

private:
    std::vector<char> User;
    std::unique_ptr<ACL, TLocalFree> AclMemory;
    SECURITY_DESCRIPTOR Descriptor{};
    SECURITY_ATTRIBUTES Attributes{};
    bool Ready = false;
};

TFile CreateNew(const std::wstring& Folder, std::wstring_view Prefix, DWORD Flags, bool Private,
                std::string& CreatedPath, std::error_code& Error) {
    TOwnerOnly OwnerOnly;
    SECURITY_ATTRIBUTES* const Security = Private ? OwnerOnly.Get() : nullptr;
    // A private file is to get the old file's permissions and owner later, which takes
    // WRITE_DAC and WRITE_OWNER; its own access list grants them. A folder's inherited list may
    // not, so no other file asks for them.
    const DWORD Access = GENERIC_READ | GENERIC_WRITE | DELETE |
                         (Security ? WRITE_DAC | WRITE_OWNER : 0);
    for (int Attempt = 0; Attempt < 100; ++Attempt) {
        const std::wstring Path = Folder + RandomName(Prefix);
        // Every name is made before the file: nothing that could run out of memory comes
        // between its creation and its handle's owner, which would leave it behind.
        std::string Named = Utf8(Path);
        const HANDLE Created = ::CreateFileW(WidePath(Named).c_str(), Access, ShareAll,
                                             Security, CREATE_NEW, Flags, nullptr);
        if (NativeOf(Created) != NoFile) {
            CreatedPath = std::move(Named);
            Error.clear();
            return TFile(NativeOf(Created));
        }
        if (const DWORD Code = ::GetLastError(); Code != ERROR_FILE_EXISTS) {
            Error = PathError(Path, Code);
            return {};
        }
    }
    Error = std::make_error_code(std::errc::file_exists);
    return {};
}

} // namespace

TFile CreateTemporaryBeside(const std::string& Target, bool Private, std::string& TemporaryPath,
                            std::error_code& Error) {
    return CreateNew(Utf16(FolderOf(Target)), L".pdtmp-", FILE_ATTRIBUTE_NORMAL, Private,
                     TemporaryPath, Error);
}

TFile CreateUnnamedTemporary(std::string& Where, std::error_code& Error) {
    std::wstring Folder(MAX_PATH + 1, L'\0');
    Folder.resize(::GetTempPathW(static_cast<DWORD>(Folder.size()), Folder.data()));
    Where = Utf8(Folder);
    std::string Path;
    // Windows cannot take a file's last name away while it is open; deleted on close comes
    // nearest, and holds however the process ends.
    return CreateNew(Folder, L"propdump-", FILE_ATTRIBUTE_TEMPORARY | FILE_FLAG_DELETE_ON_CLOSE,
                     true, Path, Error);
}

std::error_code Write(const TFile& File, const char* Data, std::size_t Size) {
    while (Size > 0) {
        DWORD Put = 0;
        if (!::WriteFile(Handle(File), Data, static_cast<DWORD>(std::min(Size, MostPerCall)), &Put,
                         nullptr))
            return LastError();
        Data += Put;
        Size -= Put;
    }
    return {};
}

std::error_code Reserve(const TFile& File, uint64_t Size) {
    FILE_ALLOCATION_INFO Allocation{};
    Allocation.AllocationSize.QuadPart = static_cast<LONGLONG>(Size);
    if (Size == 0 || !OnDisk(Handle(File)) ||
        ::SetFileInformationByHandle(Handle(File), FileAllocationInfo, &Allocation,
                                     sizeof Allocation))
        return {};
    const DWORD Code = ::GetLastError();
    return Code == ERROR_DISK_FULL || Code == ERROR_HANDLE_DISK_FULL ? ErrorFrom(Code)
                                                                      : std::error_code();
}

std::error_code Resize(const TFile& File, uint64_t Size) {
    FILE_END_OF_FILE_INFO End{};
    End.EndOfFile.QuadPart = static_cast<LONGLONG>(Size);
    return ::SetFileInformationByHandle(Handle(File), FileEndOfFileInfo, &End, sizeof End)
               ? std::error_code()
               : LastError();
}

void StartWriteBack(const TFile&, uint64_t, uint64_t) {}

// A pipe's "flush" waits for its reader to take everything; only files have a disk to reach.
std::error_code FlushToDisk(const TFile& File) {
    if (!OnDisk(Handle(File)) || ::FlushFileBuffers(Handle(File)))
        return {};
    return LastError();
}

namespace {

bool Unsupported(DWORD Code) {
    return Code == ERROR_NOT_SUPPORTED || Code == ERROR_CALL_NOT_IMPLEMENTED ||
           Code == ERROR_INVALID_FUNCTION;
}

// The attributes a user sets on a file and expects a save to keep. Read-only is not among
// them: such a file is refused before it is saved.
constexpr DWORD KeptAttributes = FILE_ATTRIBUTE_HIDDEN | FILE_ATTRIBUTE_SYSTEM |
                                 FILE_ATTRIBUTE_ARCHIVE | FILE_ATTRIBUTE_NOT_CONTENT_INDEXED;

std::error_code CopyAttributes(const std::wstring& From, HANDLE To) {
    const DWORD Old = ::GetFileAttributesW(From.c_str());
    if (Old == INVALID_FILE_ATTRIBUTES)
        return LastError();
    FILE_BASIC_INFO Basic{};
    if (!::GetFileInformationByHandleEx(To, FileBasicInfo, &Basic, sizeof Basic))
        return LastError();
    Basic.FileAttributes = (Basic.FileAttributes & ~KeptAttributes) | (Old & KeptAttributes);
    if (Basic.FileAttributes == 0)
        Basic.FileAttributes = FILE_ATTRIBUTE_NORMAL;
    // Zero times are left as they are.
    Basic.CreationTime.QuadPart = Basic.LastAccessTime.QuadPart = 0;
    Basic.LastWriteTime.QuadPart = Basic.ChangeTime.QuadPart = 0;
    return ::SetFileInformationByHandle(To, FileBasicInfo, &Basic, sizeof Basic) ? std::error_code()
                                                                                 : LastError();
}

// Owner and access list. Only an administrator may give a file to someone else; anyone else
// keeps the owner only when it is already the new file's, and otherwise is told, so that the
// file is written over in place and keeps its owner that way.
std::error_code CopySecurity(const std::wstring& From, HANDLE To) {
    PSID OldOwner = nullptr;
    PACL OldAcl = nullptr;
    PSECURITY_DESCRIPTOR Old = nullptr;
    DWORD Code = ::GetNamedSecurityInfoW(From.c_str(), SE_FILE_OBJECT,
                                         OWNER_SECURITY_INFORMATION | DACL_SECURITY_INFORMATION,
                                         &OldOwner, nullptr, &OldAcl, nullptr, &Old);
    if (Code != ERROR_SUCCESS)
        return Unsupported(Code) ? std::error_code() : ErrorFrom(Code);
    const std::unique_ptr<void, TLocalFree> OldMemory(Old);
    PSID NewOwner = nullptr;
    PSECURITY_DESCRIPTOR New = nullptr;
    Code = ::GetSecurityInfo(To, SE_FILE_OBJECT, OWNER_SECURITY_INFORMATION, &NewOwner, nullptr,
                             nullptr, nullptr, &New);
    if (Code != ERROR_SUCCESS)
        return Unsupported(Code) ? std::error_code() : ErrorFrom(Code);
    const std::unique_ptr<void, TLocalFree> NewMemory(New);
    SECURITY_INFORMATION What = 0;
    if (OldOwner && NewOwner && !::EqualSid(OldOwner, NewOwner))
        What |= OWNER_SECURITY_INFORMATION;
    SECURITY_DESCRIPTOR_CONTROL Control = 0;
    DWORD Revision = 0;
    // No access list at all (a file system without them) is not one to copy.
    if (OldAcl && ::GetSecurityDescriptorControl(Old, &Control, &Revision))
        What |= DACL_SECURITY_INFORMATION | ((Control & SE_DACL_PROTECTED) != 0
                                                 ? PROTECTED_DACL_SECURITY_INFORMATION
                                                 : UNPROTECTED_DACL_SECURITY_INFORMATION);
    if (What == 0)
        return {};
    Code = ::SetSecurityInfo(To, SE_FILE_OBJECT, What, OldOwner, nullptr, OldAcl, nullptr);
    return Code == ERROR_SUCCESS || Unsupported(Code) ? std::error_code() : ErrorFrom(Code);
}

} // namespace

// Windows keeps no POSIX mode, group or extended attributes; what it has in their place, the
// file's attributes, owner and access list, is given to the new file.
std::error_code CopyMetadata(const std::string& From, const TFile& To) {
    const std::wstring Wide = WidePath(From);
    if (const std::error_code Error = CopyAttributes(Wide, Handle(To)))
        return Error;
    return CopySecurity(Wide, Handle(To));
}

namespace {

// Whether a program holds the file open without letting others delete it.
bool HeldUndeletable(const std::wstring& Path) {
    const TOwnedHandle Probe(
        ::CreateFileW(Path.c_str(), DELETE, ShareAll, nullptr, OPEN_EXISTING, 0, nullptr));
    return NativeOf(Probe.get()) == NoFile && ::GetLastError() == ERROR_SHARING_VIOLATION;
}

} // namespace

std::error_code RenameOver(const std::string& From, const std::string& To) {
    const std::wstring Source = WidePath(From);
    const std::wstring Target = WidePath(To);
    if (::MoveFileExW(Source.c_str(), Target.c_str(),
                      MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH))
        return {};
    const DWORD Code = ::GetLastError();
    if (Code != ERROR_ACCESS_DENIED)
        return ErrorFrom(Code);
    // Windows says "access denied" for a file that is open, whoever holds it. Held by a program
    // that does not let it go, it cannot be replaced: the user is told so. Held only by those
    // that let it be deleted (the tool's own reader of the file it rewrites), ReplaceFileW
    // takes its place where MoveFileExW does not.
    if (HeldUndeletable(Target))
        return ErrorFrom(ERROR_SHARING_VIOLATION);
    // It takes no path relative to the current folder.
    if (::ReplaceFileW(FullPath(Target).c_str(), FullPath(Source).c_str(), nullptr,
                       REPLACEFILE_WRITE_THROUGH, nullptr, nullptr))
        return {};
    return ErrorFrom(Code);
}

void RemoveFile(const std::string& Path) {
    ::DeleteFileW(WidePath(Path).c_str());
}

// The rename was written through (MOVEFILE_WRITE_THROUGH); Windows has no folder to sync.
void SyncFolderOf(const std::string&) {}

std::string FolderOf(const std::string& Path) {
    const std::size_t Separator = Path.find_last_of("/\\");
    if (Separator != std::string::npos)
        return Path.substr(0, Separator + 1);
    // "C:name" is "name" in the current folder of drive C.
    if (Path.size() >= 2 && Path[1] == ':')
        return Path.substr(0, 2);
    return {};
}

std::string CurrentFolder() {
    std::wstring Current(::GetCurrentDirectoryW(0, nullptr), L'\0');
    const DWORD Length =
        ::GetCurrentDirectoryW(static_cast<DWORD>(Current.size()), Current.data());
    if (Length == 0 || Length >= Current.size())
        return ".";
    Current.resize(Length);
    return Utf8(Current);
}

namespace {

// Ctrl+C, Ctrl+Break and a closed console window are Windows' ending signals. Its handlers run
// on a thread of their own while the program goes on, so they can wait for a write in place.
enum { SlotFree, SlotFilling, SlotWatched };

wchar_t TemporaryPath[32768];
std::atomic<int> TemporarySlot = SlotFree;
std::atomic<int> HeldBack = 0;
std::atomic<bool> Pending = false;

void RemoveWatchedTemporary() {
    int Watched = SlotWatched;
    if (TemporarySlot.compare_exchange_strong(Watched, SlotFilling))
        ::DeleteFileW(TemporaryPath);
}

BOOL WINAPI OnConsoleEvent(DWORD Event) {
    if (Event != CTRL_C_EVENT && Event != CTRL_BREAK_EVENT && Event != CTRL_CLOSE_EVENT)
        return FALSE;
    if (Event == CTRL_CLOSE_EVENT) {
        // The process ends when this returns, whatever it returns: let the write finish first.
        while (HeldBack > 0)
            ::Sleep(10);
    } else if (HeldBack > 0) {
        Pending = true;
        return TRUE;
    }
    RemoveWatchedTemporary();
    return FALSE; // on to the next handler, in the end the system's, which ends the process
}

} // namespace

void InstallSaveSignals() {
    static std::once_flag Once;
    std::call_once(Once, [] { ::SetConsoleCtrlHandler(&OnConsoleEvent, TRUE); });
}

bool WatchTemporary(const std::string& Path) {
    const std::wstring Wide = WidePath(Path);
    int Free = SlotFree;
    if (Wide.size() >= std::size(TemporaryPath) ||
        !TemporarySlot.compare_exchange_strong(Free, SlotFilling))
        return false;
    std::wmemcpy(TemporaryPath, Wide.c_str(), Wide.size() + 1);
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
    if (--HeldBack == 0 && Pending.exchange(false)) {
        RemoveWatchedTemporary();
        ::ExitProcess(STATUS_CONTROL_C_EXIT);
    }
}

bool IsTerminal(TStandardStream Stream) {
    const HANDLE Handle = ::GetStdHandle(Stream == TStandardStream::Input    ? STD_INPUT_HANDLE
                                         : Stream == TStandardStream::Output ? STD_OUTPUT_HANDLE
                                                                             : STD_ERROR_HANDLE);
    DWORD Mode = 0;
    if (::GetFileType(Handle) != FILE_TYPE_CHAR || !::GetConsoleMode(Handle, &Mode))
        return false;
    // What the tool draws on a terminal is made of escape sequences, which a Windows console
    // follows only when asked to (Windows 10 on); one that cannot is no terminal to draw on.
    return Stream == TStandardStream::Input || (Mode & ENABLE_VIRTUAL_TERMINAL_PROCESSING) != 0 ||
           ::SetConsoleMode(Handle, Mode | ENABLE_VIRTUAL_TERMINAL_PROCESSING);
}

namespace {

UINT ConsoleCodePage = 0;

void RestoreConsoleCodePage() {
    ::SetConsoleOutputCP(ConsoleCodePage);
}

} // namespace

// Text mode would write "\r\n" for every "\n": the tool's output and messages are to be the
// same bytes on every system. Those bytes are UTF-8, so a console shows them as UTF-8 while the
// tool runs, and goes back to its own code page afterwards.
void UseBinaryStandardOutput() {
    std::fflush(stdout);
    std::fflush(stderr);
    ::_setmode(::_fileno(stdout), _O_BINARY);
    ::_setmode(::_fileno(stderr), _O_BINARY);
    ConsoleCodePage = ::GetConsoleOutputCP();
    if (ConsoleCodePage != 0 && ConsoleCodePage != CP_UTF8 && ::SetConsoleOutputCP(CP_UTF8))
        std::atexit(&RestoreConsoleCodePage);
}

std::size_t PhysicalMemoryBytes() {
    MEMORYSTATUSEX Status{};
    Status.dwLength = sizeof Status;
    if (!::GlobalMemoryStatusEx(&Status))
        return 0;
    return static_cast<std::size_t>(
        std::min<DWORDLONG>(Status.ullTotalPhys, std::numeric_limits<std::size_t>::max()));
}

// Large pages need a privilege that ordinary users lack, and Windows hands pages out on first
// touch cheaply enough: both are left to the system.
void AdviseLargeAllocation(void*, std::size_t) {}
void PrefaultForWriting(void*, std::size_t) {}

const char* FindLastByte(const char* Begin, std::size_t Size, char Byte) {
    for (const char* At = Begin + Size; At != Begin;)
        if (*--At == Byte)
            return At;
    return nullptr;
}

} // namespace FileSystem
