#include "model/HeapBytes.h"
#include "model/Propdmp.h"
#include "tests/model/ScratchFiles.h"

#include <gtest/gtest.h>

#include <atomic>
#include <cctype>
#include <string>
#include <thread>
#include <vector>

#ifndef _WIN32
#include <sys/stat.h>
#endif

namespace {

// Version-4 lines whose owners come in runs and return later, and whose model names recur in
// other letter cases, with values first met in either half of the text: what the two reading
// threads gather must merge into the order of one walk.
std::string MixedText(int Lines) {
    std::string text = "propdump version 4\n";
    for (int n = 0; n < Lines; ++n) {
        const int owner = n < Lines / 2 ? (n / 7) % 300 : (n / 5) % 450 - 40;
        std::string model = n % 11 == 0 ? "" : "Mdl" + std::to_string((n * 37) % 900);
        // Some too long to be kept inside the string object, so that they take heap room.
        if (n % 5 == 0 && !model.empty())
            model += "-with-a-longer-name";
        if (n % 3 == 1)
            for (char& c : model)
                c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
        text += std::to_string(owner) + " 1 2 3 4 5 6 7 0 " + std::to_string(model.size()) +
                " 0 0 0 " + model + "\n";
    }
    return text;
}

struct TWatched {
    uint64_t Total = 0;
    std::atomic<uint64_t> Bytes = 0;
    std::atomic<int> Batches = 0;
    TLoadControl Control() {
        TLoadControl control;
        control.OnTotal = [this](uint64_t t) {
            EXPECT_EQ(Batches.load(), 0) << "the total comes before the batches";
            Total = t;
        };
        control.OnBatch = [this](uint64_t b) {
            Bytes += b;
            ++Batches;
        };
        return control;
    }
};

} // namespace

TEST(PropdumpFileLoadControl, ValuesGatheredWhileParsingEqualAWalkAfterwards) {
    TScratchDir dir;
    // One part, and two parts read at once (the text is then over 256 KiB).
    for (const int lines : {40, 30000}) {
        const std::string text = MixedText(lines);
        WriteBytes(dir / "f", text);
        for (const bool fromFile : {false, true}) {
            const std::string where =
                std::to_string(lines) + " lines from " + (fromFile ? "a file" : "memory");
            TPropdumpFile doc;
            TDistinctValues gathered;
            std::size_t heapBytes = 0;
            TLoadControl control;
            control.Distinct = &gathered;
            control.HeapBytes = &heapBytes;
            if (fromFile)
                doc.LoadFromFile(dir / "f", 0, control);
            else
                doc.LoadFromMemory(text, dir / "f", 0, control);
            ASSERT_EQ(doc.Count(), lines) << where;
            EXPECT_EQ(gathered.CitizenNumbers, doc.GetCitizenNumbers()) << where;
            EXPECT_EQ(gathered.ModelNames, doc.GetModelNames()) << where;
            EXPECT_EQ(heapBytes, HeapBytesOf(doc)) << where;
            EXPECT_GT(gathered.ModelNames.size(), lines > 100 ? 800u : 10u) << where;
        }
    }
}

TEST(PropdumpFileLoadControl, EveryBatchIsReportedAndTheTotalIsKnownBeforehand) {
    TScratchDir dir;
    const std::string text = MixedText(60000);
    ASSERT_GT(text.size(), 4 * ReadBlock);
    WriteBytes(dir / "f", text);
    // Two walks over every byte, each in batches of a read block at most, and room made for the
    // objects between them, counted as a third.
    const int fewestBatches = static_cast<int>(2 * (text.size() / ReadBlock));
    for (const bool fromFile : {false, true}) {
        TWatched watched;
        TPropdumpFile doc;
        const TLoadControl control = watched.Control();
        if (fromFile)
            doc.LoadFromFile(dir / "f", 0, control);
        else
            doc.LoadFromMemory(text, "f", 0, control);
        EXPECT_EQ(watched.Total, 3 * text.size()) << fromFile;
        EXPECT_GE(watched.Batches.load(), fewestBatches) << fromFile;
        // Besides all that, only the look for the line start nearest the middle reads.
        EXPECT_GE(watched.Bytes.load(), watched.Total) << fromFile;
        EXPECT_LE(watched.Bytes.load(), watched.Total + ReadBlock) << fromFile;
    }

#ifndef _WIN32
    // A pipe's size is not known until it has been read: batches, but no total.
    const std::string fifo = dir / "pipe";
    ASSERT_EQ(::mkfifo(fifo.c_str(), 0600), 0);
    TWatched watched;
    TPropdumpFile doc;
    std::jthread writer([&] { WriteBytes(fifo, text); });
    doc.LoadFromFile(fifo, 0, watched.Control());
    EXPECT_EQ(doc.Count(), 60000);
    EXPECT_EQ(watched.Total, 0u);
    EXPECT_GE(watched.Batches.load(), fewestBatches);
#endif
}

TEST(PropdumpFileLoadControl, CancelledLoadStopsAndLeavesTheDocumentAsItWas) {
    TScratchDir dir;
    const std::string text = MixedText(60000);
    WriteBytes(dir / "f", text);
    // Before anything was read, after the first batch, and well into the parse.
    for (const int after : {0, 1, 12}) {
        for (const bool fromFile : {false, true}) {
            TPropdumpFile doc;
            doc.LoadFromMemory("propdump version 2\r\n5 6 7 8 9 10 4 0 2 treeok\r\n", "/old", 0);
            std::atomic<bool> cancel = after == 0;
            std::atomic<int> batches = 0;
            TLoadControl control;
            control.Cancel = &cancel;
            control.OnBatch = [&](uint64_t) {
                if (++batches == after)
                    cancel = true;
            };
            TDistinctValues distinct;
            control.Distinct = &distinct;
            if (fromFile)
                EXPECT_THROW(doc.LoadFromFile(dir / "f", 0, control), ELoadCancelled);
            else
                EXPECT_THROW(doc.LoadFromMemory(text, "new", 0, control), ELoadCancelled);
            // Each reading thread notices at its next batch at the latest.
            EXPECT_LE(batches.load(), after + 2);
            EXPECT_EQ(doc.Count(), 1);
            EXPECT_EQ(doc.FileName, "/old");
            EXPECT_EQ(doc.Version, 2);
            EXPECT_TRUE(distinct.CitizenNumbers.empty());
        }
    }
}
