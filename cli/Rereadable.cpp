#include "cli/Rereadable.h"

#include <limits>

namespace {

FileSystem::TFile UnnamedTemporaryFile() {
    std::string Where;
    std::error_code Error;
    FileSystem::TFile File = FileSystem::CreateUnnamedTemporary(Where, Error);
    if (Error)
        ThrowFileError(Error, "Cannot keep a copy of standard input in \"" + Where + "\"");
    return File;
}

} // namespace

TRereadable::TRereadable(const std::string& PathGiven, int FileVersionGiven)
    : Path(PathGiven), DisplayName(PathGiven == "-" ? "(standard input)" : PathGiven),
      GivenVersion(FileVersionGiven), FileVersion(FileVersionGiven),
      Copy(PathGiven == "-" ? UnnamedTemporaryFile() : FileSystem::TFile()) {
    TObjectSource Source(PathGiven, FileVersionGiven);
    FileVersion = Source.Version();
    if (PathGiven != "-")
        return;
    TSystemFileWriter Writer;
    TBatch Batch;
    while (Source.Next(Batch)) {
        Writer.Write(Copy, Batch.Block.Text.data(), Batch.Block.Text.size());
        // The text ends at a NUL byte with more after it: so must the copy's, or reading it
        // again would take the lines before it for the whole file.
        if (Batch.Block.EndsInNulLine)
            Writer.Write(Copy, "\0\n", 2);
    }
}

std::unique_ptr<TObjectSource> TRereadable::Open() const {
    if (!Copy.IsOpen())
        return std::make_unique<TObjectSource>(Path, GivenVersion);
    // Read again through its handle, the only way left to it; the copy of standard input starts
    // with the header line when it had one.
    std::error_code Error;
    FileSystem::TFile Again = FileSystem::Reopen(Copy, Error);
    if (Error)
        ThrowFileError(Error, "Cannot read the copy of standard input");
    return std::make_unique<TObjectSource>(std::move(Again), DisplayName, GivenVersion);
}

uint64_t TRereadable::Size() const {
    const FileSystem::TFileIdentity Info =
        Copy.IsOpen() ? FileSystem::IdentifyFile(Copy) : FileSystem::IdentifyFile(Path);
    if (!Info.Exists || !Info.Regular)
        return std::numeric_limits<uint64_t>::max();
    return Info.Size;
}
