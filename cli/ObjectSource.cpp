#include "cli/ObjectSource.h"

#include "cli/Errors.h"
#include "model/Propdmp.h"

#include <optional>
#include <utility>

namespace {

std::string NameOf(const std::string& Path) {
    return Path == "-" ? "(standard input)" : Path;
}

FileSystem::TFile OpenInput(const std::string& Path) {
    if (Path != "-")
        return OpenFile(Path);
    std::error_code Error;
    FileSystem::TFile File = FileSystem::OpenStandardInput(Error);
    if (Error)
        ThrowFileError(Error, "Cannot open file \"" + NameOf(Path) + "\"");
    return File;
}

} // namespace

TObjectSource::TObjectSource(const std::string& Path, int FileVersionGiven)
    : TObjectSource(OpenInput(Path), NameOf(Path), FileVersionGiven) {}

TObjectSource::TObjectSource(FileSystem::TFile FileGiven, const std::string& Name,
                             int FileVersionGiven)
    : DisplayName(Name), File(std::move(FileGiven)), FileVersion(FileVersionGiven),
      Reader(File, DisplayName) {
    if (const FileSystem::TFileIdentity Info = FileSystem::IdentifyFile(File); Info.Regular)
        Progress.SetTotal(Info.Size);
    Reader.OnRead = [this](uint64_t Bytes) { Progress.Update(Bytes); };
    // Only as much as one read gives: a command on a pipe starts as soon as its header is there.
    if (!Reader.Next(First, 1))
        throw EInputError(DisplayName, 0, "File contains no data");
    const std::string_view FirstLine = FirstLineOf(First.Text);
    if (First.EndsInNulLine && FirstLine.size() == First.Text.size())
        throw EInputError(DisplayName, 1, NulByteMessage);
    if (FileVersion == 0) {
        TakeHeader(FirstLine);
    } else if (const std::optional<int> Named = HeaderLineVersion(FirstLine)) {
        throw EInputError(DisplayName, 1,
                          "the first line is a \"propdump version " + std::to_string(*Named) +
                              "\" header, but --file-version reads every line as an object "
                              "line; leave --file-version out");
    }
}

// The header is read by the document's own rule.
void TObjectSource::TakeHeader(std::string_view FirstLine) {
    const std::optional<int> Named = HeaderLineVersion(FirstLine);
    if (!Named)
        throw EInputError(DisplayName, 1,
                          "Unknown propdump format: the first line is not \"propdump version N\"; "
                          "give the file's version with --file-version N");
    if (*Named < 2 || *Named > 4)
        throw EInputError(DisplayName, 1,
                          "Unknown propdump format: version " + std::to_string(*Named) +
                              " in the header is not one of 2, 3 and 4");
    FileVersion = *Named;
    Header = 1;
}

bool TObjectSource::Next(TBatch& Batch) {
    bool Got;
    if (FirstPending) {
        std::swap(Batch.Block, First);
        FirstPending = false;
        Got = true;
    } else {
        Got = Reader.Next(Batch.Block);
    }
    if (!Got)
        Progress.Erase();
    return Got;
}

void TObjectSource::Cut(TBatch& Batch) {
    try {
        CutLines(Batch.Block, Batch.Lines);
    } catch (...) {
        Numbers.Abandon(Batch.Block.Index);
        throw;
    }
    Batch.EndsInNulLine = Batch.Block.EndsInNulLine;
    Batch.FirstLine = Numbers.FirstLine(Batch.Block.Index, Batch.Lines.size());
    Batch.FirstObject = Batch.FirstLine - 1 - std::min<uint64_t>(Batch.FirstLine - 1, Header);
}
