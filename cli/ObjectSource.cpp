#include "cli/ObjectSource.h"

#include "cli/Errors.h"
#include "model/LineSplitter.h"
#include "model/Propdmp.h"

#include <algorithm>
#include <cerrno>
#include <cstring>

#include <fcntl.h>
#include <sys/stat.h>

namespace {

// Big enough that handing a batch to another thread costs next to nothing, small enough that
// a few of them in flight keep the memory low.
constexpr std::size_t BatchBytes = 1024 * 1024;

// Lines are cut once, here, and the workers take them as they are. Text ends with a line end,
// so that every line is a view into it.
void CutLines(std::string_view Text, std::vector<std::string_view>& Lines) {
    Lines.clear();
    TLineSplitter Splitter;
    Splitter.Feed(Text, [&Lines](std::string_view Line) { Lines.push_back(Line); });
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

char* TReadBuffer::Extend(std::size_t Extra) {
    if (Used + Extra > Capacity) {
        const std::size_t NewCapacity = std::max(Used + Extra, 2 * Capacity);
        auto NewBytes = std::make_unique_for_overwrite<char[]>(NewCapacity);
        if (Used != 0)
            std::memcpy(NewBytes.get(), Bytes.get(), Used);
        Bytes = std::move(NewBytes);
        Capacity = NewCapacity;
    }
    return Bytes.get() + Used;
}

void TReadBuffer::Assign(std::string_view Text) {
    Used = 0;
    if (!Text.empty())
        std::memcpy(Extend(Text.size()), Text.data(), Text.size());
    Used = Text.size();
}

bool TObjectSource::ReadMore(TReadBuffer& Into) {
    if (AtEnd)
        return false;
    const std::size_t Old = Into.Size();
    char* const Room = Into.Extend(ReadBlock);
    ssize_t Got;
    do
        Got = ::read(File.Get(), Room, ReadBlock);
    while (Got < 0 && errno == EINTR);
    if (Got < 0)
        ThrowFileError(errno, "Cannot read file \"" + DisplayName + "\"");
    Into.Resize(Old + static_cast<std::size_t>(Got));
    BytesRead += static_cast<uint64_t>(Got);
    Progress.Update(BytesRead);
    if (Got == 0) {
        AtEnd = true;
        return false;
    }
    // A NUL byte ends the text, as for the loader: nothing after it is read.
    if (const void* Nul = std::memchr(Room, '\0', static_cast<std::size_t>(Got))) {
        Into.Resize(Old + static_cast<std::size_t>(static_cast<const char*>(Nul) - Room));
        AtEnd = true;
    }
    return true;
}

void TObjectSource::TakeHeader() {
    const auto FirstLineEnd = [this] {
        const std::string_view Text = Carry.View();
        return static_cast<std::size_t>(FindLineEnd(Text.data(), Text.data() + Text.size()) -
                                        Text.data());
    };
    while (FirstLineEnd() == Carry.Size() && ReadMore(Carry)) {
    }
    if (Carry.Size() == 0)
        throw EInputError(DisplayName, 0, "File contains no data");
    // The header is read by the document's own rule: a header line alone is an empty document.
    TPropdumpFile HeaderOnly;
    try {
        HeaderOnly.LoadFromMemory(Carry.View().substr(0, FirstLineEnd()), DisplayName, 0);
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
    Batch.Text.Assign(Carry.View());
    std::size_t Cut = 0;
    for (;;) {
        while (Batch.Text.Size() < BatchBytes && ReadMore(Batch.Text)) {
        }
        if (AtEnd) {
            Cut = Batch.Text.Size();
            break;
        }
        Cut = LastLineBoundary(Batch.Text.View());
        if (Cut != 0)
            break;
        // A single line longer than a batch: it has to be read whole.
        ReadMore(Batch.Text);
    }
    Carry.Assign(Batch.Text.View().substr(Cut));
    Batch.Text.Resize(Cut);
    if (Cut == 0) {
        if (NextLine == 1)
            throw EInputError(DisplayName, 0, "File contains no data");
        return false;
    }
    // The last line of the text may have no line end; one adds no line.
    if (const char Last = Batch.Text.View().back(); Last != '\n' && Last != '\r') {
        *Batch.Text.Extend(1) = '\n';
        Batch.Text.Resize(Cut + 1);
    }
    CutLines(Batch.Text.View(), Batch.Lines);
    Batch.FirstLine = NextLine;
    Batch.FirstObject = NextObject;
    const uint64_t HeaderHere = NextLine <= Header ? Header - NextLine + 1 : 0;
    NextLine += Batch.Lines.size();
    NextObject += Batch.Lines.size() - HeaderHere;
    return true;
}
