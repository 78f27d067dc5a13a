#include "model/FileIo.h"

#include <cerrno>
#include <cstdint>
#include <memory>
#include <system_error>

namespace fs = FileSystem;

void ThrowFileError(std::error_code Error, const std::string& What) {
    throw std::system_error(Error, What);
}

void ThrowFileError(int Error, const std::string& What) {
    ThrowFileError(std::error_code(Error, std::generic_category()), What);
}

std::size_t ReadFile(const fs::TFile& File, char* Buffer, std::size_t Size,
                     const std::string& Name) {
    std::error_code Error;
    const std::size_t Got = fs::Read(File, Buffer, Size, Error);
    if (Error)
        ThrowFileError(Error, "Cannot read file \"" + Name + "\"");
    return Got;
}

std::size_t ReadFileAt(const fs::TFile& File, uint64_t Offset, char* Buffer, std::size_t Size,
                       const std::string& Name) {
    std::error_code Error;
    const std::size_t Got = fs::ReadAt(File, Offset, Buffer, Size, Error);
    if (Error)
        ThrowFileError(Error, "Cannot read file \"" + Name + "\"");
    return Got;
}

fs::TFile OpenFile(const std::string& Path) {
    std::error_code Error;
    fs::TFile File = fs::OpenForReading(Path, Error);
    if (Error)
        ThrowFileError(Error, "Cannot open file \"" + Path + "\"");
    return File;
}

void TSystemFileWriter::Write(const fs::TFile& File, const char* Data, std::size_t Size) {
    if (const std::error_code Error = fs::Write(File, Data, Size))
        ThrowFileError(Error, "Cannot write file");
}

namespace {

// Where a folder-related error names the folder: the current one when the name has none.
std::string FolderName(const std::string& path) {
    std::string folder = fs::FolderOf(path);
    if (folder.size() > 1)
        folder.pop_back();
    return folder.empty() ? fs::CurrentFolder() : folder;
}

// A temporary file beside the target, removed again unless it was renamed over the target.
class TTempFile {
public:
    // Null, with Error set, when the folder takes no new file.
    static std::unique_ptr<TTempFile> Create(const std::string& target, bool isPrivate,
                                             std::error_code& error) {
        std::string path;
        fs::TFile file = fs::CreateTemporaryBeside(target, isPrivate, path, error);
        if (!file.IsOpen())
            return nullptr;
        // Should there be no memory left to hold it, the new file goes again.
        try {
            return std::unique_ptr<TTempFile>(new TTempFile(path, std::move(file)));
        } catch (...) {
            file = fs::TFile();
            fs::RemoveFile(path);
            throw;
        }
    }
    TTempFile(const TTempFile&) = delete;
    TTempFile& operator=(const TTempFile&) = delete;
    ~TTempFile() {
        if (Committed)
            return;
        (void)File.Close();
        fs::RemoveFile(Path);
        if (Watched)
            fs::ForgetTemporary();
    }
    const fs::TFile& Handle() const { return File; }
    void CommitAs(const std::string& target) {
        if (const std::error_code error = fs::FlushToDisk(File))
            ThrowFileError(error, "Cannot write file \"" + target + "\"");
        if (const std::error_code error = File.Close())
            ThrowFileError(error, "Cannot write file \"" + target + "\"");
        if (const std::error_code error = fs::RenameOver(Path, target))
            ThrowFileError(error, "Cannot replace file \"" + target + "\"");
        Committed = true;
        if (Watched)
            fs::ForgetTemporary();
    }

private:
    TTempFile(std::string path, fs::TFile file)
        : Path(std::move(path)), File(std::move(file)), Watched(fs::WatchTemporary(Path)) {}

    std::string Path;
    fs::TFile File;
    bool Watched;
    bool Committed = false;
};

using TWrite = std::function<void(const fs::TFile&, const char*, std::size_t)>;
using TProduce = std::function<void(const TByteSink&)>;

// For a file that a new one renamed over it could not stand in for. The new content is made
// whole in memory before the file is touched, room for it is taken on the disk, and the ending
// signals wait until it is written, cut to size and flushed.
void WriteInPlace(const fs::TSaveTarget& target, const std::string& fileName, const TWrite& write,
                  const TProduce& produce) {
    std::string content;
    produce([&](const char* data, std::size_t size) { content.append(data, size); });
    std::error_code error;
    fs::TFile file = fs::OpenForWriting(target.Path, false, error);
    if (error)
        ThrowFileError(error, "Cannot open file \"" + fileName + "\"");
    // A full disk found here costs nothing; found half-way through the writing, it would.
    if ((error = fs::Reserve(file, content.size())))
        ThrowFileError(error, "Cannot save file \"" + fileName + "\"");
    const fs::THeldSignals holdSignals;
    try {
        write(file, content.data(), content.size());
        if ((error = fs::Resize(file, content.size())) || (error = fs::FlushToDisk(file)) ||
            (error = file.Close()))
            ThrowFileError(error, "Cannot write file \"" + fileName + "\"");
    } catch (const std::system_error& e) {
        throw std::system_error(e.code(), std::string(e.what()) +
                                              " (written over its old content, which is now "
                                              "partly overwritten)");
    }
}

bool IsPermissionError(std::error_code error) {
    return error == std::errc::permission_denied || error == std::errc::operation_not_permitted;
}

} // namespace

void SaveFileAtomically(const std::string& fileName, TFileWriter& writer,
                        const std::function<void(const TByteSink&)>& produce) {
    if (fileName.empty())
        ThrowFileError(ENOENT, "Cannot save a document without a file name");
    fs::InstallSaveSignals();
    std::error_code error;
    const fs::TSaveTarget target = fs::ResolveSaveTarget(fileName, error);
    if (error)
        ThrowFileError(error, "Cannot save file \"" + fileName + "\"");
    const bool exists = target.Status.Exists;
    // Renaming over a file the user may not write would quietly undo a write protection.
    if (exists && (error = fs::CheckWritable(target.Path)))
        ThrowFileError(error, "Cannot save file \"" + fileName + "\"");
    // The writer knows no file name; the user needs one in the message.
    const TWrite write = [&](const fs::TFile& file, const char* data, std::size_t size) {
        try {
            writer.Write(file, data, size);
        } catch (const std::system_error& e) {
            throw std::system_error(e.code(), "Cannot write file \"" + fileName + "\"");
        }
    };
    if (exists && !target.Status.Regular) {
        // A device or a pipe cannot be replaced by renaming; it is written to directly.
        fs::TFile file = fs::OpenForWriting(target.Path, true, error);
        if (error)
            ThrowFileError(error, "Cannot open file \"" + fileName + "\"");
        produce([&](const char* data, std::size_t size) { write(file, data, size); });
        if ((error = file.Close()))
            ThrowFileError(error, "Cannot write file \"" + fileName + "\"");
        return;
    }
    // A new file renamed over the old one would part it from its other names.
    if (exists && target.Status.Links > 1)
        return WriteInPlace(target, fileName, write, produce);

    // Private until it is the old file's equal: the content may be the user's secret.
    std::unique_ptr<TTempFile> temp = TTempFile::Create(target.Path, exists, error);
    if (!temp) {
        // A folder the user may not write, holding a file they may.
        if (exists && IsPermissionError(error))
            return WriteInPlace(target, fileName, write, produce);
        ThrowFileError(error, "Cannot save file \"" + fileName +
                                  "\": no new file can be made in "
                                  "folder \"" +
                                  FolderName(target.Path) + "\"");
    }
    // What the new file cannot be given (another user's file, an attribute the process may not
    // set) would be lost by the rename; written in place, the file keeps all of it.
    if (exists && fs::CopyMetadata(target.Path, temp->Handle())) {
        temp.reset();
        return WriteInPlace(target, fileName, write, produce);
    }
    // The disk starts on the file while the rest is still being made, so the final sync has
    // little left to wait for.
    constexpr uint64_t Stride = 8 * 1024 * 1024;
    uint64_t written = 0;
    uint64_t handedToDisk = 0;
    produce([&](const char* data, std::size_t size) {
        write(temp->Handle(), data, size);
        written += size;
        if (written - handedToDisk >= Stride) {
            fs::StartWriteBack(temp->Handle(), handedToDisk, written - handedToDisk);
            handedToDisk = written;
        }
    });
    temp->CommitAs(target.Path);
    fs::SyncFolderOf(target.Path);
}
