#include "model/BlockReader.h"

#include "model/FileIo.h"
#include "model/LineSplitter.h"
#include "model/Parallel.h"

#include <algorithm>
#include <cstring>
#include <new>
#include <stdexcept>

#ifdef __SSE2__
#include <emmintrin.h>
#endif

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

} // namespace

// Line ends among the bytes of Text, which holds no NUL byte: every LF, and every CR that is not
// the first half of a CR LF. Sixteen bytes are looked at at once where the processor can, each
// adding its own 0 or 1 to a counter of its own, summed before one of them could overflow.
uint64_t CountLineEnds(std::string_view Text) {
    uint64_t Ends = 0;
    std::size_t i = 0;
#ifdef __SSE2__
    const __m128i Lf = _mm_set1_epi8('\n');
    const __m128i Cr = _mm_set1_epi8('\r');
    const auto Sum = [&Ends](__m128i Counts) {
        const __m128i Sums = _mm_sad_epu8(Counts, _mm_setzero_si128());
        Ends += static_cast<uint64_t>(_mm_cvtsi128_si64(Sums)) +
                static_cast<uint64_t>(_mm_cvtsi128_si64(_mm_unpackhi_epi64(Sums, Sums)));
    };
    // Each step also reads the byte after its sixteen, to see whether a CR is followed by LF.
    while (i + 17 <= Text.size()) {
        __m128i Counts = _mm_setzero_si128();
        for (int Step = 0; Step < 255 && i + 17 <= Text.size(); ++Step, i += 16) {
            const auto* const At = reinterpret_cast<const __m128i*>(Text.data() + i);
            const __m128i Bytes = _mm_loadu_si128(At);
            const __m128i Next =
                _mm_loadu_si128(reinterpret_cast<const __m128i*>(Text.data() + i + 1));
            const __m128i End =
                _mm_or_si128(_mm_cmpeq_epi8(Bytes, Lf),
                             _mm_andnot_si128(_mm_cmpeq_epi8(Next, Lf), _mm_cmpeq_epi8(Bytes, Cr)));
            Counts = _mm_sub_epi8(Counts, End);
        }
        Sum(Counts);
    }
#endif
    for (; i < Text.size(); ++i)
        if (Text[i] == '\n' || (Text[i] == '\r' && (i + 1 == Text.size() || Text[i + 1] != '\n')))
            ++Ends;
    return Ends;
}

TNulSplit SplitAtNulLine(const TBlock& Block) {
    if (!Block.EndsInNulLine)
        return {Block.Text, {}};
    const std::size_t End = Block.Text.find_last_of("\r\n");
    const std::size_t Start = End == std::string_view::npos ? 0 : End + 1;
    return {Block.Text.substr(0, Start), Block.Text.substr(Start)};
}

void CutLines(const TBlock& Block, std::vector<std::string_view>& Lines) {
    Lines.clear();
    ForEachLineOf(Block, [&Lines](std::string_view Line) { Lines.push_back(Line); });
}

uint64_t CountLines(const TBlock& Block) {
    const std::string_view Text = SplitAtNulLine(Block).Before;
    // The last line of the text may lack its end.
    const bool Unended = !Text.empty() && Text.back() != '\n' && Text.back() != '\r';
    return CountLineEnds(Text) + (Unended ? 1 : 0) + (Block.EndsInNulLine ? 1 : 0);
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
    Told.wait(Guard, [&] { return NextBlock == Block || Block > Abandoned; });
    if (Block > Abandoned)
        throw std::runtime_error("An earlier block was not read");
    const uint64_t First = NextLine;
    NextLine += Lines;
    ++NextBlock;
    Guard.unlock();
    Told.notify_all();
    return First;
}

void TLineNumbers::Abandon(uint64_t Block) {
    {
        const std::lock_guard Guard(Lock);
        Abandoned = std::min(Abandoned, Block);
    }
    Told.notify_all();
}

uint64_t TLineNumbers::Lines() const {
    const std::lock_guard Guard(Lock);
    return NextLine - 1;
}
