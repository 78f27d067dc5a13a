#include "cli/ObjectSource.h"

#include "cli/Errors.h"
#include "model/LineSplitter.h"
#include "model/Propdmp.h"

#include <cerrno>
#include <cstring>

#include <fcntl.h>
#include <sys/stat.h>

namespace {

// Big enough that handing a batch to another thread costs next to nothing, small enough that
// a few of them in flight keep the memory low.
constexpr std::size_t BatchBytes = 1024 * 1024;

uint64_t CountLines(std::string_view Text) {
    uint64_t Lines = 0;
    TLineSplitter Splitter;
    const auto Count = [&Lines](std::string_view) { ++Lines; };
    Splitter.Feed(Text, Count);
    Splitter.Finish(Count);
    return Lines;
}

// Where a batch may end in Text so that the next one starts a line: after the last LF, or else
// after the last CR that is known not to be the first half of a CR LF. 0 when there is no such
// place yet.
std::size_t LastLineBoundary(std::string_view Text) {
    const void* Lf = ::memrchr(Text.data(), '\n', Text.size());
    if (Lf)
        return static_cast<std::size_t>(static_cast<const char*>(Lf) - Text.data()) + 1;
    for (std::size_t i = Text.size(); i-- > 1;)
        if (Text[i - 1] == '\r')
            return i;
    return 0;
}

int OpenInput(const std::string& Path, const std::string& Name) {
    const int Fd = Path == "-" ? ::dup(STDIN_FILENO) : ::open(Path.c_str(), O_RDONLY | O_CLOEXEC);
    if (Fd < 0)
        ThrowFileError(errno, "Cannot open file \"" + Name + "\"");
    return Fd;
}

} // namespace

TObjectSource::TObjectSource(const std::string& Path, int FileVersionGiven)
    : DisplayName(Path == "-" ? "(standard input)" : Path), File(OpenInput(Path, DisplayName)),
      FileVersion(FileVersionGiven) {
    struct stat Info {};
    if (::fstat(File.Get(), &Info) == 0 && S_ISREG(Info.st_mode))
        Progress.SetTotal(static_cast<uint64_t>(Info.st_size));
    if (FileVersion == 0)
        TakeHeader();
}

bool TObjectSource::ReadMore(std::string& Into) {
    if (AtEnd)
        return false;
    const std::size_t Old = Into.size();
    Into.resize(Old + ReadBlock);
    ssize_t Got;
    do
        Got = ::read(File.Get(), Into.data() + Old, ReadBlock);
    while (Got < 0 && errno == EINTR);
    if (Got < 0) {
        Into.resize(Old);
        ThrowFileError(errno, "Cannot read file \"" + DisplayName + "\"");
    }
    Into.resize(Old + static_cast<std::size_t>(Got));
    BytesRead += static_cast<uint64_t>(Got);
    Progress.Update(BytesRead);
    if (Got == 0) {
        AtEnd = true;
        return false;
    }
    // A NUL byte ends the text, as for the loader: nothing after it is read.
    if (const void* Nul = std::memchr(Into.data() + Old, '\0', static_cast<std::size_t>(Got))) {
        Into.resize(static_cast<std::size_t>(static_cast<const char*>(Nul) - Into.data()));
        AtEnd = true;
    }
    return true;
}

void TObjectSource::TakeHeader() {
    while (FindLineEnd(Carry.data(), Carry.data() + Carry.size()) == Carry.data() + Carry.size() &&
           ReadMore(Carry)) {
    }
    if (Carry.empty())
        throw EInputError(DisplayName, 0, "File contains no data");
    const std::string_view First(
        Carry.data(), static_cast<std::size_t>(
                          FindLineEnd(Carry.data(), Carry.data() + Carry.size()) - Carry.data()));
    // The header is read by the document's own rule: a header line alone is an empty document.
    TPropdumpFile HeaderOnly;
    try {
        HeaderOnly.LoadFromMemory(First, DisplayName, 0);
    } catch (const EPropdumpVersionUnknown& Error) {
        throw EInputError(DisplayName, 1,
                          std::string(Error.what()) +
                              ": the first line is not \"propdump version N\"; give the file's "
                              "version with --file-version N");
    }
    FileVersion = HeaderOnly.Version;
    Header = 1;
}

bool TObjectSource::Next(TBatch& Batch) {
    Batch.Text.assign(Carry);
    Carry.clear();
    std::size_t Cut = 0;
    for (;;) {
        while (Batch.Text.size() < BatchBytes && ReadMore(Batch.Text)) {
        }
        if (AtEnd) {
            Cut = Batch.Text.size();
            break;
        }
        Cut = LastLineBoundary(Batch.Text);
        if (Cut != 0)
            break;
        // A single line longer than a batch: it has to be read whole.
        ReadMore(Batch.Text);
    }
    Carry.assign(Batch.Text, Cut);
    Batch.Text.resize(Cut);
    if (Batch.Text.empty()) {
        if (NextLine == 1)
            throw EInputError(DisplayName, 0, "File contains no data");
        return false;
    }
    Batch.Lines = CountLines(Batch.Text);
    Batch.FirstLine = NextLine;
    Batch.FirstObject = NextObject;
    const uint64_t HeaderHere = NextLine <= Header ? Header - NextLine + 1 : 0;
    NextLine += Batch.Lines;
    NextObject += Batch.Lines - HeaderHere;
    return true;
}
