#include "model/BlockReader.h"

#include "model/FileIo.h"
#include "model/LineSplitter.h"
#include "model/Parallel.h"

#include <algorithm>
#include <cstring>
#include <new>
#include <stdexcept>

char* TReadBuffer::Extend(std::size_t Extra) {
    if (Used + Extra > Capacity) {
        const std::size_t NewCapacity = std::max(Used + Extra, 2 * Capacity);
        // A large buffer is moved by remapping its pages, so a line longer than a block is
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

namespace {

// Where a block may end in Text so that the next one starts a line: after the last LF, or else
// after the last CR that is known not to be the first half of a CR LF. 0 when there is no such
// place yet. Text before From is known to hold none, so a line longer than a block costs one
// look at each of its bytes, not one at all of them for every read.
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

// Calls OnLine for every line of Text, which holds no NUL byte; a break at the very end adds
// no line.
template <class F> void ForEachLineOf(std::string_view Text, F&& OnLine) {
    const char* p = Text.data();
    const char* const Last = p + Text.size();
    while (p != Last) {
        const char* e = FindLineEnd(p, Last);
        OnLine(p, e);
        if (e == Last)
            return;
        if (*e == '\r' && e + 1 != Last && e[1] == '\n')
            ++e;
        p = e + 1;
    }
}

// The text of Block before its NUL line, and that line.
struct TNulSplit {
    std::string_view Before;
    std::string_view NulLine;
};
TNulSplit SplitAtNulLine(const TBlock& Block) {
    if (!Block.EndsInNulLine)
        return {Block.Text, {}};
    const std::size_t Start = LastLineStart(Block.Text);
    return {Block.Text.substr(0, Start), Block.Text.substr(Start)};
}

} // namespace

void CutLines(const TBlock& Block, std::vector<std::string_view>& Lines) {
    Lines.clear();
    const TNulSplit Split = SplitAtNulLine(Block);
    ForEachLineOf(Split.Before, [&Lines](const char* Begin, const char* End) {
        Lines.emplace_back(Begin, static_cast<std::size_t>(End - Begin));
    });
    if (Block.EndsInNulLine)
        Lines.push_back(Split.NulLine);
}

uint64_t CountLines(const TBlock& Block) {
    uint64_t Count = Block.EndsInNulLine ? 1 : 0;
    ForEachLineOf(SplitAtNulLine(Block).Before, [&Count](const char*, const char*) { ++Count; });
    return Count;
}

std::string_view FirstLineOf(std::string_view Text) {
    const char* const End = FindLineEnd(Text.data(), Text.data() + Text.size());
    return Text.substr(0, static_cast<std::size_t>(End - Text.data()));
}

namespace {

std::size_t BlockBytesOr(std::size_t Given) {
    if (Given != 0)
        return Given;
    if (const std::size_t Set = BatchTuning().BlockBytes; Set != 0)
        return Set;
    return TBlockReader::DefaultBlockBytes;
}

} // namespace

TBlockReader::TBlockReader(const FileSystem::TFile& FileGiven, const std::string& NameGiven,
                           std::size_t BlockBytesGiven)
    : File(&FileGiven), Name(NameGiven), BlockBytes(BlockBytesOr(BlockBytesGiven)) {}

TBlockReader::TBlockReader(std::string_view Bytes, std::size_t BlockBytesGiven)
    : Memory(Bytes), BlockBytes(BlockBytesOr(BlockBytesGiven)) {}

std::string_view TBlockReader::Window(const TBlock& Block) const {
    if (File)
        return Block.Storage.View();
    return Memory.substr(static_cast<std::size_t>(Begin), static_cast<std::size_t>(Avail - Begin));
}

// Takes more of the source into the block's window; false when there is no more. The text ends
// at the first NUL byte, and reading stops there once it is known whether only NUL bytes follow.
bool TBlockReader::ReadMore(TBlock& Block) {
    if (AtEnd)
        return false;
    const char* New = nullptr;
    std::size_t Got = 0;
    // Small blocks, which only tests ask for, are read in small pieces too, so that a line end
    // lands on every border.
    const std::size_t Most = std::min(ReadBlock, BlockBytes);
    if (File) {
        const std::size_t Old = Block.Storage.Size();
        char* const Room = Block.Storage.Extend(Most);
        Got = ReadFile(*File, Room, Most, Name);
        Block.Storage.Resize(Old + Got);
        New = Room;
    } else {
        Got = static_cast<std::size_t>(std::min<uint64_t>(Most, Memory.size() - Avail));
        New = Memory.data() + Avail;
        Avail += Got;
    }
    Read += Got;
    if (OnRead)
        OnRead(Read);
    if (Got == 0) {
        AtEnd = true;
        return false;
    }
    if (const void* Nul = std::memchr(New, '\0', Got)) {
        const auto Text = static_cast<std::size_t>(static_cast<const char*>(Nul) - New);
        if (File)
            Block.Storage.Resize(Block.Storage.Size() - (Got - Text));
        else
            Avail -= Got - Text;
        NulLine = !OnlyNulBytesFollow(std::string_view(static_cast<const char*>(Nul), Got - Text));
        AtEnd = true;
    } else if (!File && Avail == Memory.size()) {
        AtEnd = true;
    }
    return true;
}

// Reads on to the end as long as it finds only NUL bytes.
bool TBlockReader::OnlyNulBytesFollow(std::string_view Rest) {
    if (!AllNul(Rest))
        return false;
    if (!File) {
        const uint64_t After = static_cast<uint64_t>(Rest.data() + Rest.size() - Memory.data());
        const bool Padding = AllNul(Memory.substr(static_cast<std::size_t>(After)));
        Read = Memory.size();
        return Padding;
    }
    const auto Buffer = std::make_unique_for_overwrite<char[]>(ReadBlock);
    for (;;) {
        const std::size_t Got = ReadFile(*File, Buffer.get(), ReadBlock, Name);
        if (Got == 0)
            return true;
        Read += Got;
        if (OnRead)
            OnRead(Read);
        if (!AllNul(std::string_view(Buffer.get(), Got)))
            return false;
    }
}

bool TBlockReader::Next(TBlock& Block, std::size_t Bytes) {
    if (Done)
        return false;
    if (Bytes == 0)
        Bytes = BlockBytes;
    Block.Index = NextIndex;
    Block.Offset = Begin;
    Block.EndsInNulLine = false;
    if (File)
        Block.Storage.Assign(Carry.View());
    std::size_t Cut = 0;
    for (std::size_t Looked = 0;;) {
        while (Window(Block).size() < Bytes && ReadMore(Block)) {
        }
        if (AtEnd) {
            Cut = Window(Block).size();
            break;
        }
        Cut = LastLineBoundary(Window(Block), Looked);
        if (Cut != 0)
            break;
        // A single line longer than a block: it has to be read whole.
        Looked = Window(Block).size();
        ReadMore(Block);
    }
    const std::string_view All = Window(Block);
    if (File) {
        Carry.Assign(All.substr(Cut));
        Block.Storage.Resize(Cut);
        Block.Text = Block.Storage.View();
    } else {
        Block.Text = All.substr(0, Cut);
    }
    Begin += Cut;
    if (AtEnd) {
        Done = true;
        Block.EndsInNulLine = NulLine;
    }
    if (Block.Text.empty() && (!Block.EndsInNulLine || Block.Offset == 0)) {
        Done = true;
        return false;
    }
    ++NextIndex;
    return true;
}

uint64_t TLineNumbers::FirstLine(uint64_t Block, uint64_t Lines) {
    std::unique_lock Guard(Lock);
    Told.wait(Guard, [&] { return Broken || NextBlock == Block; });
    if (Broken)
        throw std::runtime_error("An earlier block was not read");
    const uint64_t First = NextLine;
    NextLine += Lines;
    ++NextBlock;
    Guard.unlock();
    Told.notify_all();
    return First;
}

void TLineNumbers::Abandon() {
    {
        const std::lock_guard Guard(Lock);
        Broken = true;
    }
    Told.notify_all();
}

uint64_t TLineNumbers::Lines() const {
    const std::lock_guard Guard(Lock);
    return NextLine - 1;
}
