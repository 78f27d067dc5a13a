#pragma once

// Reads a propdump text in blocks of whole lines, for readers that hand the blocks to other
// threads, such as the command-line tool's streaming commands. Lines end as TLineSplitter ends
// them (CR LF, LF, CR), and where the text ends at a NUL byte, and whether that is padding or a
// bad line, is decided here once; cutting a block into its lines is left to whoever works on it,
// so that the thread that reads does no more than read. The document's loader, which reads a
// plain file in ranges side by side, counts and cuts its blocks with the same rules
// (CountLineEnds, ForEachLineOf).

#include "model/FileSystem.h"
#include "model/LineSplitter.h"

#include <condition_variable>
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <functional>
#include <memory>
#include <mutex>
#include <string>
#include <string_view>
#include <vector>

// Bytes read from a file. It grows without clearing the room it adds, since reading fills it.
class TReadBuffer {
public:
    std::string_view View() const { return {Bytes.get(), Used}; }
    std::size_t Size() const { return Used; }
    // Makes room for Extra more bytes after the used ones and returns where they go; Resize
    // then says how many of them were filled.
    char* Extend(std::size_t Extra);
    void Resize(std::size_t Size) { Used = Size; }
    void Assign(std::string_view Text);

private:
    struct TFree {
        void operator()(char* Bytes) const { std::free(Bytes); }
    };
    std::unique_ptr<char, TFree> Bytes;
    std::size_t Used = 0;
    std::size_t Capacity = 0;
};

struct TBlock {
    // Whole lines with their line ends. Only the last block's last line may lack its end, and
    // the text never holds a NUL byte: it ends at the first one.
    std::string_view Text;
    uint64_t Offset = 0; // of Text's first byte in the source
    uint64_t Index = 0;  // 0 for the first block
    // The text ends at a NUL byte that more than NUL bytes follow: the last line of Text (empty,
    // perhaps) is what that line holds before the NUL, and the line is bad.
    bool EndsInNulLine = false;
    // Where Text lives when the source is a file; blocks are reused, and so is this.
    TReadBuffer Storage;
};

// Block's text before its NUL line, and that line (both empty when there is none).
struct TNulSplit {
    std::string_view Before;
    std::string_view NulLine;
};
TNulSplit SplitAtNulLine(const TBlock& Block);

// Calls OnLine with each line of Block's text without its line end, as a view into it; the NUL
// line last, when there is one.
template <class F> void ForEachLineOf(const TBlock& Block, F&& OnLine) {
    const TNulSplit Split = SplitAtNulLine(Block);
    const char* p = Split.Before.data();
    const char* const Last = p + Split.Before.size();
    while (p != Last) {
        const char* e = FindLineEnd(p, Last);
        OnLine(std::string_view(p, static_cast<std::size_t>(e - p)));
        if (e == Last)
            break;
        if (*e == '\r' && e + 1 != Last && e[1] == '\n')
            ++e;
        p = e + 1;
    }
    if (Block.EndsInNulLine)
        OnLine(Split.NulLine);
}

// Line ends among the bytes of Text: every LF, and every CR not followed by LF (a CR at the very
// end counts).
uint64_t CountLineEnds(std::string_view Text);
// Each line of Block's text, as ForEachLineOf gives them.
void CutLines(const TBlock& Block, std::vector<std::string_view>& Lines);
// The number of lines CutLines would give, without keeping them.
uint64_t CountLines(const TBlock& Block);
// The first line of a text (without its end): the whole text when it has no line end.
std::string_view FirstLineOf(std::string_view Text);

class TBlockReader {
public:
    static constexpr std::size_t DefaultBlockBytes = 1024 * 1024;

    // Reads File from its read position on, a pipe or standard input alike; Name is what read
    // errors call it. BlockBytes 0: the default, or what tests set in BatchTuning.
    TBlockReader(const FileSystem::TFile& File, const std::string& Name,
                 std::size_t BlockBytes = 0);
    // Bytes in memory: every block is a view into them, nothing is copied.
    explicit TBlockReader(std::string_view Bytes, std::size_t BlockBytes = 0);

    // The next block of about BlockBytes bytes (or Bytes, when given), longer when one line is;
    // false once the text is used up. A small Bytes gives the lines of the next read alone, so a
    // reader of a pipe can start on what has come so far. A source that starts with a NUL byte
    // holds no text at all, whatever follows.
    bool Next(TBlock& Block, std::size_t Bytes = 0);

    // Bytes taken from the source so far, NUL bytes read past included.
    uint64_t BytesRead() const { return Read; }
    // Called with BytesRead() after every read of the source, from the thread calling Next.
    std::function<void(uint64_t)> OnRead;

private:
    bool ReadMore(TBlock& Block);
    bool OnlyNulBytesFollow(std::string_view Rest);
    std::string_view Window(const TBlock& Block) const;

    const FileSystem::TFile* File = nullptr;
    std::string Name;
    std::string_view Memory; // the whole source, when it is in memory
    std::size_t BlockBytes;
    TReadBuffer Carry;          // a file's line whose end has not been read yet
    uint64_t Begin = 0;         // where the next block starts in the source
    uint64_t Avail = 0;         // for memory: the end of what the window has looked at
    uint64_t Read = 0;
    uint64_t NextIndex = 0;
    bool AtEnd = false;         // the end of the source, or of its text at a NUL byte
    bool NulLine = false;       // the text ended at a NUL byte it cannot be read past
    bool Done = false;
};

// Line numbers for blocks cut into lines side by side: each block learns where its lines start
// once every block before it has said how many it holds. Blocks are taken up in their order, so
// the one waited for is always already being cut.
class TLineNumbers {
public:
    // Block's first line number (1-based), given its count of lines; waits for the blocks
    // before it. Throws when one of them failed before it could say.
    uint64_t FirstLine(uint64_t Block, uint64_t Lines);
    // Block will never say: the blocks after it give up waiting, those before it go on.
    void Abandon(uint64_t Block);
    // Lines of the blocks that have said so far.
    uint64_t Lines() const;

private:
    mutable std::mutex Lock;
    std::condition_variable Told;
    uint64_t NextBlock = 0;
    uint64_t NextLine = 1;
    uint64_t Abandoned = UINT64_MAX; // the first block that will never say
};
