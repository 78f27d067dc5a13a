#include "cli/ObjectSource.h"

#include "cli/Errors.h"
#include "model/LineSplitter.h"
#include "model/Propdmp.h"

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <new>
#include <optional>
#include <utility>

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
// place yet. Text before From is known to hold none, so a line longer than a batch costs one
// look at each of its bytes, not one at all of them for every block read.
std::size_t LastLineBoundary(std::string_view Text, std::size_t From) {
    From = From > 0 ? From - 1 : 0; // a CR there may have been the last byte then
    const std::string_view New = Text.substr(From);
    if (const char* Lf = FileSystem::FindLastByte(New.data(), New.size(), '\n'))
        return From + static_cast<std::size_t>(Lf - New.data()) + 1;
    for (std::size_t i = Text.size(); i-- > std::max<std::size_t>(From, 1);)
        if (Text[i - 1] == '\r')
            return i;
    return 0;
}

// Where the last line of a text that ends here starts.
std::size_t LastLineStart(std::string_view Text) {
    const std::size_t End = Text.find_last_of("\r\n");
    return End == std::string_view::npos ? 0 : End + 1;
}

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
    : DisplayName(Name), File(std::move(FileGiven)), FileVersion(FileVersionGiven) {
    if (const FileSystem::TFileIdentity Info = FileSystem::IdentifyFile(File); Info.Regular)
        Progress.SetTotal(Info.Size);
    const std::string_view FirstLine = ReadFirstLine();
    if (FileVersion == 0) {
        TakeHeader(FirstLine);
    } else if (const std::optional<int> Named = HeaderLineVersion(FirstLine)) {
        throw EInputError(DisplayName, 1,
                          "the first line is a \"propdump version " + std::to_string(*Named) +
                              "\" header, but --file-version reads every line as an object "
                              "line; leave --file-version out");
    }
}

char* TReadBuffer::Extend(std::size_t Extra) {
    if (Used + Extra > Capacity) {
        const std::size_t NewCapacity = std::max(Used + Extra, 2 * Capacity);
        // A large buffer is moved by remapping its pages, so a line longer than a batch is
        // never held twice while it grows.
        auto* const NewBytes = static_cast<char*>(std::realloc(Bytes.get(), NewCapacity));
        if (!NewBytes)
            throw std::bad_alloc();
        (void)Bytes.release();
        Bytes.reset(NewBytes);
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
    const std::size_t Got = ReadFile(File, Room, ReadBlock, DisplayName);
    Into.Resize(Old + Got);
    BytesRead += Got;
    Progress.Update(BytesRead);
    if (Got == 0) {
        AtEnd = true;
        Progress.Erase();
        return false;
    }
    if (const void* Nul = std::memchr(Room, '\0', Got)) {
        const auto Text = static_cast<std::size_t>(static_cast<const char*>(Nul) - Room);
        Into.Resize(Old + Text);
        NulLinePending =
            !OnlyNulBytesFollow(std::string_view(static_cast<const char*>(Nul), Got - Text));
        AtEnd = true;
        Progress.Erase();
    }
    return true;
}

// Reads on to the end as long as it finds only NUL bytes.
bool TObjectSource::OnlyNulBytesFollow(std::string_view Rest) {
    if (!AllNul(Rest))
        return false;
    const auto Buffer = std::make_unique_for_overwrite<char[]>(ReadBlock);
    for (;;) {
        const std::size_t Got = ReadFile(File, Buffer.get(), ReadBlock, DisplayName);
        if (Got == 0)
            return true;
        BytesRead += Got;
        Progress.Update(BytesRead);
        if (!AllNul(std::string_view(Buffer.get(), Got)))
            return false;
    }
}

std::string_view TObjectSource::ReadFirstLine() {
    const auto FirstLineEnd = [this] {
        const std::string_view Text = Carry.View();
        return static_cast<std::size_t>(FindLineEnd(Text.data(), Text.data() + Text.size()) -
                                        Text.data());
    };
    std::size_t End;
    while ((End = FirstLineEnd()) == Carry.Size() && ReadMore(Carry)) {
    }
    // A file that starts with a NUL byte holds no text at all, whatever follows.
    if (Carry.Size() == 0)
        throw EInputError(DisplayName, 0, "File contains no data");
    if (NulLinePending && End == Carry.Size())
        throw EInputError(DisplayName, 1, NulByteMessage);
    return Carry.View().substr(0, End);
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
    Batch.Text.Assign(Carry.View());
    std::size_t Cut = 0;
    for (std::size_t Looked = 0;;) {
        while (Batch.Text.Size() < BatchBytes && ReadMore(Batch.Text)) {
        }
        if (AtEnd) {
            Cut = Batch.Text.Size();
            break;
        }
        Cut = LastLineBoundary(Batch.Text.View(), Looked);
        if (Cut != 0)
            break;
        // A single line longer than a batch: it has to be read whole.
        Looked = Batch.Text.Size();
        ReadMore(Batch.Text);
    }
    Carry.Assign(Batch.Text.View().substr(Cut));
    Batch.Text.Resize(Cut);
    Batch.EndsInNulLine = std::exchange(NulLinePending, false);
    if (Cut == 0 && !Batch.EndsInNulLine) {
        if (NextLine == 1)
            throw EInputError(DisplayName, 0, "File contains no data");
        return false;
    }
    if (Batch.EndsInNulLine) {
        // The lines before the NUL's line, then what its line holds before the NUL.
        const std::string_view Text = Batch.Text.View();
        const std::size_t NulLine = LastLineStart(Text);
        CutLines(Text.substr(0, NulLine), Batch.Lines);
        Batch.Lines.push_back(Text.substr(NulLine));
    } else {
        // The last line of the text may have no line end; one adds no line.
        if (const char Last = Batch.Text.View().back(); Last != '\n' && Last != '\r') {
            *Batch.Text.Extend(1) = '\n';
            Batch.Text.Resize(Cut + 1);
        }
        CutLines(Batch.Text.View(), Batch.Lines);
    }
    Batch.FirstLine = NextLine;
    Batch.FirstObject = NextObject;
    const uint64_t HeaderHere = NextLine <= Header ? Header - NextLine + 1 : 0;
    NextLine += Batch.Lines.size();
    NextObject += Batch.Lines.size() - HeaderHere;
    return true;
}
