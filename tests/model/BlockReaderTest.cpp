#include "model/BlockReader.h"
#include "model/FileIo.h"
#include "model/LineSplitter.h"
#include "model/Parallel.h"

#include "ScratchFiles.h"

#include <gtest/gtest.h>

#include <stdexcept>
#include <string>
#include <thread>
#include <vector>

#ifndef _WIN32
#include <unistd.h>
#endif

using namespace std::string_literals;

namespace {

struct TLinesRead {
    std::vector<std::string> Lines;
    bool NulLine = false; // the last of Lines is the line of a NUL byte the text ends at
    std::size_t Blocks = 0;
};

bool operator==(const TLinesRead& a, const TLinesRead& b) {
    return a.Lines == b.Lines && a.NulLine == b.NulLine;
}

// The lines of Text as one pass of the splitter over all of it finds them.
TLinesRead Expected(std::string_view Text) {
    TLinesRead Read;
    const TLineSplitter Splitter = ForEachLine(
        [&](auto&& OnChunk) { OnChunk(Text); },
        [&](std::string_view Line) { Read.Lines.emplace_back(Line); });
    // A text that starts with a NUL byte has no lines, not even a bad one.
    if (Splitter.NulInText() && Splitter.NulOffset() != 0) {
        Read.Lines.emplace_back(Text.substr(Splitter.TextEnd(),
                                            Splitter.NulOffset() - Splitter.TextEnd()));
        Read.NulLine = true;
    }
    return Read;
}

// Every block, checked for being whole lines at the offsets that follow on from each other.
TLinesRead ReadBlocks(TBlockReader& Reader) {
    TLinesRead Read;
    TBlock Block;
    std::vector<std::string_view> Lines;
    uint64_t Offset = 0;
    while (Reader.Next(Block)) {
        EXPECT_FALSE(Read.NulLine) << "a block after the NUL line";
        EXPECT_EQ(Block.Index, Read.Blocks);
        EXPECT_EQ(Block.Offset, Offset);
        Offset += Block.Text.size();
        ++Read.Blocks;
        CutLines(Block, Lines);
        EXPECT_EQ(CountLines(Block), Lines.size());
        for (const std::string_view Line : Lines)
            Read.Lines.emplace_back(Line);
        Read.NulLine = Block.EndsInNulLine;
    }
    EXPECT_FALSE(Reader.Next(Block)) << "a block after the end";
    return Read;
}

enum class TSource { Memory, File, Pipe };

TLinesRead ReadFrom(TSource Source, const std::string& Text, std::size_t BlockBytes) {
    if (Source == TSource::Memory) {
        TBlockReader Reader(Text, BlockBytes);
        return ReadBlocks(Reader);
    }
    if (Source == TSource::File) {
        TScratchDir Dir;
        WriteBytes(Dir / "t.pd", Text);
        const FileSystem::TFile File = OpenFile(Dir / "t.pd");
        TBlockReader Reader(File, "t.pd", BlockBytes);
        return ReadBlocks(Reader);
    }
#ifdef _WIN32
    return Expected(Text);
#else
    // Written in pieces of three bytes, so that reads come back short.
    int Ends[2];
    EXPECT_EQ(::pipe(Ends), 0);
    std::thread Writer([&Text, Out = Ends[1]] {
        for (std::size_t At = 0; At < Text.size(); At += 3)
            if (::write(Out, Text.data() + At, std::min<std::size_t>(3, Text.size() - At)) < 0)
                break;
        ::close(Out);
    });
    const FileSystem::TFile File(Ends[0]);
    TBlockReader Reader(File, "pipe", BlockBytes);
    TLinesRead Read = ReadBlocks(Reader);
    Writer.join();
    return Read;
#endif
}

std::string Repeated(const std::string& Text, int Times) {
    std::string All;
    for (int i = 0; i < Times; ++i)
        All += Text;
    return All;
}

constexpr TSource Sources[] = {TSource::Memory, TSource::File, TSource::Pipe};
constexpr std::size_t BlockSizes[] = {1, 2, 3, 5, 8, 1 << 20};

} // namespace

// Every kind of line end, at every place a block border can fall: a CR LF split by a border is
// still one line end, and a line longer than many blocks comes whole.
TEST(BlockReader, BlocksHoldWholeLinesWhateverTheirEnds) {
    const std::string Texts[] = {
        "a\nbb\n",
        "a\r\nbb\r\n",
        "a\rbb\r",
        "one\rtwo\r\nthree\nfour",
        "\r\n\n\r\r\n\r",
        "x\r\n\r\ny",
        "last line without an end",
        "",
        "short\n" + std::string(50, 'x') + "\r\n" + std::string(20, 'y') + "\rend\r\n",
        Repeated("x\r\n", 40) + Repeated("y\r", 40), // a CR LF at every place of sixteen bytes
    };
    for (const std::string& Text : Texts)
        for (const std::size_t Size : BlockSizes)
            for (const TSource Source : Sources) {
                SCOPED_TRACE(testing::Message() << '"' << Text << "\" in blocks of " << Size
                                                << " from source " << static_cast<int>(Source));
                const TLinesRead Read = ReadFrom(Source, Text, Size);
                EXPECT_EQ(Read, Expected(Text));
                if (Size == 1 && Read.Lines.size() > 1) {
                    EXPECT_GT(Read.Blocks, 1u);
                }
            }
}

// A NUL byte at every place of a text: followed by NUL bytes only it merely ends the text; followed
// by anything else its line is the last one and a bad one. A text that starts with one is empty.
TEST(BlockReader, TextEndsAtTheFirstNulByte) {
    const std::string Text = "ab\r\ncd\ne\rf";
    for (const std::string& After : {"\0\0\0"s, "x"s, "\0\0\r\nmore\n"s})
        for (std::size_t At = 0; At <= Text.size(); ++At) {
            const bool Padding = After == "\0\0\0"s;
            const std::string Source =
                Text.substr(0, At) + '\0' + After + (Padding ? "" : Text.substr(At));
            for (const std::size_t Size : {std::size_t{1}, std::size_t{4}, std::size_t{1} << 20})
                for (const TSource From : Sources) {
                    SCOPED_TRACE(testing::Message() << "NUL at " << At << ", then "
                                                    << After.size() << " bytes, blocks of "
                                                    << Size << ", source "
                                                    << static_cast<int>(From));
                    const TLinesRead Read = ReadFrom(From, Source, Size);
                    EXPECT_EQ(Read, Expected(Source));
                    EXPECT_EQ(Read.NulLine, At != 0 && !Padding);
                }
        }
}

// Blocks cut side by side learn their first line numbers in file order, however the threads run;
// a block whose work fails before it can tell its count lets the ones after it give up instead of
// waiting for ever, and the failure is the one that is reported.
TEST(BlockReader, LineNumbersFollowTheBlocksAcrossThreads) {
    std::string Text;
    for (int i = 0; i < 2000; ++i)
        Text += std::string(static_cast<std::size_t>(i % 7), 'a') + (i % 3 == 0 ? "\r\n" : "\n");
    struct TJob {
        TBlock Block;
        std::vector<std::string_view> Lines;
        uint64_t FirstLine = 0;
    };
    for (const int FailAt : {-1, 5}) {
        SCOPED_TRACE(FailAt);
        TBlockReader Reader(Text, 64);
        TLineNumbers Numbers;
        uint64_t NextLine = 1;
        std::size_t Blocks = 0;
        std::string Error;
        try {
            RunInOrder<TJob>(
                4, [&](TJob& Job) { return Reader.Next(Job.Block); },
                [&](unsigned, TJob& Job) {
                    CutLines(Job.Block, Job.Lines);
                    if (static_cast<int>(Job.Block.Index) == FailAt) {
                        Numbers.Abandon(Job.Block.Index);
                        throw std::runtime_error("block " + std::to_string(FailAt));
                    }
                    Job.FirstLine = Numbers.FirstLine(Job.Block.Index, Job.Lines.size());
                },
                [&](TJob& Job) {
                    EXPECT_EQ(Job.FirstLine, NextLine);
                    NextLine += Job.Lines.size();
                    ++Blocks;
                });
        } catch (const std::exception& Failure) {
            Error = Failure.what();
        }
        if (FailAt < 0) {
            EXPECT_EQ(Error, "");
            EXPECT_EQ(NextLine - 1, 2000u);
            EXPECT_EQ(Numbers.Lines(), 2000u);
            EXPECT_GT(Blocks, 100u);
        } else {
            EXPECT_EQ(Error, "block 5");
            EXPECT_EQ(Blocks, 5u);
        }
    }
}
