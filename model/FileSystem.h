#pragma once

// Everything the core, the operations and the command-line tool ask of the operating system.
// Each system has one implementation (FileSystemPosix.cpp, FileSystemWin32.cpp), chosen by the
// build; no other file of the core, the operations or the tool makes a system call, so porting
// means writing that one file.
//
// Paths are UTF-8. Errors come back as std::error_code values that compare equal to the
// std::errc conditions they stand for (std::errc::permission_denied, no_such_file_or_directory,
// ...), whatever the system's own numbering; their message() is the system's text for them.

#include <cstddef>
#include <cstdint>
#include <string>
#include <system_error>

namespace FileSystem {

// The system's handle of an open file (a descriptor, a HANDLE), as an integer wide enough for
// either. -1 is no file on every system.
using TNativeFile = std::intptr_t;
inline constexpr TNativeFile NoFile = -1;

// An open file, closed when it goes.
class TFile {
public:
    TFile() = default;
    explicit TFile(TNativeFile Native) : Handle(Native) {}
    TFile(TFile&& Other) noexcept : Handle(Other.Release()) {}
    TFile& operator=(TFile&& Other) noexcept;
    TFile(const TFile&) = delete;
    TFile& operator=(const TFile&) = delete;
    ~TFile();

    bool IsOpen() const { return Handle != NoFile; }
    TNativeFile Native() const { return Handle; }
    TNativeFile Release() {
        const TNativeFile Native = Handle;
        Handle = NoFile;
        return Native;
    }
    // Closes now, so that the caller sees the error a late write-back may report.
    std::error_code Close();

private:
    TNativeFile Handle = NoFile;
};

// What a path or an open file names.
struct TFileIdentity {
    bool Exists = false;
    bool Regular = false;  // a plain file, not a folder, device or pipe
    bool Link = false;     // a symbolic link (only when asked not to follow links)
    uint64_t Size = 0;     // bytes, for a regular file
    uint64_t Links = 1;    // names the file has (hard links)
    uint64_t Device = 0;
    uint64_t Inode = 0;
    bool SameFileAs(const TFileIdentity& Other) const {
        return Exists && Other.Exists && Device == Other.Device && Inode == Other.Inode;
    }
};

// Symbolic links followed; Exists is false when nothing is there or it cannot be looked at.
TFileIdentity IdentifyFile(const std::string& Path);
TFileIdentity IdentifyFile(const TFile& File);

// Reading

TFile OpenForReading(const std::string& Path, std::error_code& Error);
// A handle of the process's standard input of its own: closing it leaves standard input open.
TFile OpenStandardInput(std::error_code& Error);
// A second handle of an open file, with a read position of its own.
TFile Reopen(const TFile& File, std::error_code& Error);
// Up to Size bytes from the file's read position on; 0 at the end. Interrupted reads are
// retried, never reported.
std::size_t Read(const TFile& File, char* Buffer, std::size_t Size, std::error_code& Error);
// Up to Size bytes from Offset on, so that several threads can read one file at once; 0 at or
// past the end. POSIX leaves the read position alone; Windows leaves it where this read ended, so
// a file read at offsets is read at offsets only (the document's loader, after Rewind).
std::size_t ReadAt(const TFile& File, uint64_t Offset, char* Buffer, std::size_t Size,
                   std::error_code& Error);
// Puts the read position at the start; false for a pipe or terminal, which can be read once.
bool Rewind(const TFile& File);

// Writing and replacing

// The file a save of Path replaces: Path with every symbolic link followed to its end, and what
// is there now (Exists false when nothing is: the save creates it).
struct TSaveTarget {
    std::string Path;
    TFileIdentity Status;
};
TSaveTarget ResolveSaveTarget(const std::string& Path, std::error_code& Error);

// Whether the user may write the file at Path; the reason when not.
std::error_code CheckWritable(const std::string& Path);

// An existing file (or device, or pipe) opened for writing; Truncate empties it first.
TFile OpenForWriting(const std::string& Path, bool Truncate, std::error_code& Error);

// A new file, in the folder of Target, that no other file has the name of; its name goes into
// TemporaryPath. Private: only its owner may read it, since it is to be given the permissions of
// the file it replaces and may meanwhile hold that file's content; otherwise it gets what a new
// file of the user gets.
TFile CreateTemporaryBeside(const std::string& Target, bool Private, std::string& TemporaryPath,
                            std::error_code& Error);

// A new file that no name points to, gone with the process however that ends. Where names the
// folder it is in, for messages.
TFile CreateUnnamedTemporary(std::string& Where, std::error_code& Error);

// All Size bytes at the write position; interrupted writes are retried.
std::error_code Write(const TFile& File, const char* Data, std::size_t Size);
// Takes room on the disk for Size bytes without changing the file's size, so that a full disk
// shows before anything is written; success where the file system cannot do it.
std::error_code Reserve(const TFile& File, uint64_t Size);
// Cuts the file to Size bytes (or lengthens it).
std::error_code Resize(const TFile& File, uint64_t Size);
// A hint that the bytes written from Offset on may go to the disk now; nothing is waited for.
void StartWriteBack(const TFile& File, uint64_t Offset, uint64_t Size);
// Returns once everything written is on the disk.
std::error_code FlushToDisk(const TFile& File);
// Gives the open file To everything the file at From carries besides its bytes: owner and
// group, mode, access ACL and every extended attribute the process may read. An error when any
// of it cannot be given: a file renamed over From would then lose what From had.
std::error_code CopyMetadata(const std::string& From, const TFile& To);
// Puts From in To's place in one step: To names either the old file or the new one, at every
// moment, and on disk once this returns.
std::error_code RenameOver(const std::string& From, const std::string& To);
void RemoveFile(const std::string& Path);
// Makes the folder's entries (a rename into it) durable; a folder that cannot be synced only
// loses durability, so nothing is reported.
void SyncFolderOf(const std::string& Path);

// The folder part of Path with its trailing separator; empty when Path names none.
std::string FolderOf(const std::string& Path);
// The process's current folder, for messages about a path without one.
std::string CurrentFolder();

// The signals that end the process during a save (Ctrl+C, SIGTERM, SIGHUP, a closed
// console): they still end it, but not before the temporary file of a save in progress is
// removed, and not while a file is being written over in place.

// Once per process, before the first save; a handler the program chose itself stays.
void InstallSaveSignals();
// The temporary file the signals remove; one at a time, false when one is watched already.
bool WatchTemporary(const std::string& Path);
void ForgetTemporary();
// Holds the signals back for its lifetime, then lets one that came meanwhile end the process.
class THeldSignals {
public:
    THeldSignals();
    THeldSignals(const THeldSignals&) = delete;
    THeldSignals& operator=(const THeldSignals&) = delete;
    ~THeldSignals();
};

// Standard streams

enum class TStandardStream { Input, Output, Error };
bool IsTerminal(TStandardStream Stream);
// A handle of standard output of its own, for writing bytes as they are (no text-mode line-end
// translation on any system).
TFile OpenStandardOutput(std::error_code& Error);
// Puts the C library's standard output into binary mode, where systems have a text mode.
void UseBinaryStandardOutput();

// Memory

// The machine's physical memory in bytes; 0 when the system does not tell.
std::size_t PhysicalMemoryBytes();
// Advice for one large allocation about to be filled: back it with large pages, and (Prefault)
// have the kernel hand its pages out now. Either may be ignored.
void AdviseLargeAllocation(void* Begin, std::size_t Size);
void PrefaultForWriting(void* Begin, std::size_t Size);

// Bytes

// The last Byte in [Begin, Begin + Size), or null: the system's fast search where it has one.
const char* FindLastByte(const char* Begin, std::size_t Size, char Byte);

} // namespace FileSystem
