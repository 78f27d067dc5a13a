#include "model/Parallel.h"
#include "model/Propdmp.h"

#include "ScratchFiles.h"

#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <cstddef>
#include <random>
#include <set>
#include <stdexcept>
#include <string>
#include <thread>
#include <vector>

namespace {

// Sets the process-wide tuning for a test and puts the old one back.
class TTuning {
public:
    TTuning(unsigned threads, std::size_t batchSize) : Old(BatchTuning()) {
        BatchTuning() = {threads, batchSize};
    }
    TTuning(const TTuning&) = delete;
    TTuning& operator=(const TTuning&) = delete;
    ~TTuning() { BatchTuning() = Old; }

private:
    TBatchTuning Old;
};

struct TJob {
    int Index = -1;
    int Result = -1;
};

// Runs jobs 0 .. count-1 whose work takes a random little while, so that later jobs often finish
// before earlier ones; failAt names the jobs whose work throws, readFailAt the job Next refuses
// with an exception. Returns the jobs consumed, in the order they were.
struct TRun {
    std::vector<int> Consumed;
    std::string Error;
    std::size_t MostInFlight = 0;
    std::set<std::thread::id> WorkThreads;
};

TRun RunJobs(unsigned threads, int count, std::set<int> failAt = {}, int readFailAt = -1) {
    TRun run;
    std::mutex lock;
    int next = 0;
    std::size_t inFlight = 0;
    try {
        RunInOrder<TJob>(
            threads,
            [&](TJob& job) {
                if (next == readFailAt)
                    throw std::runtime_error("read error before job " + std::to_string(next));
                if (next == count)
                    return false;
                job.Index = next++;
                run.MostInFlight = std::max(run.MostInFlight, ++inFlight);
                return true;
            },
            [&](unsigned, TJob& job) {
                thread_local std::mt19937 rng(static_cast<unsigned>(
                    std::hash<std::thread::id>{}(std::this_thread::get_id())));
                std::this_thread::sleep_for(std::chrono::microseconds(rng() % 300));
                {
                    const std::lock_guard guard(lock);
                    run.WorkThreads.insert(std::this_thread::get_id());
                }
                if (failAt.count(job.Index))
                    throw std::runtime_error("bad job " + std::to_string(job.Index));
                job.Result = 3 * job.Index;
            },
            [&](const TJob& job) {
                --inFlight;
                EXPECT_EQ(job.Result, 3 * job.Index);
                run.Consumed.push_back(job.Index);
            });
    } catch (const std::runtime_error& e) {
        run.Error = e.what();
    }
    return run;
}

std::vector<int> Upto(int count) {
    std::vector<int> all;
    for (int i = 0; i < count; ++i)
        all.push_back(i);
    return all;
}

} // namespace

TEST(RunInOrder, HandsResultsOnInStreamOrderWithBoundedMemory) {
    for (const unsigned threads : {1u, 2u, 3u, 8u}) {
        for (const int count : {0, 1, 5, 200}) {
            SCOPED_TRACE(std::to_string(threads) + " threads, " + std::to_string(count) + " jobs");
            const TRun run = RunJobs(threads, count);
            EXPECT_EQ(run.Error, "");
            EXPECT_EQ(run.Consumed, Upto(count));
            EXPECT_LE(run.MostInFlight, std::max<std::size_t>(2, 2 * threads));
            // The work really goes to other threads when there are any, and never when not.
            if (count > 1) {
                EXPECT_EQ(run.WorkThreads.count(std::this_thread::get_id()),
                          threads == 1 ? 1u : 0u);
            }
        }
    }
}

TEST(RunInOrder, FirstErrorInStreamOrderWins) {
    const struct {
        const char* Name;
        std::set<int> FailAt;
        int ReadFailAt;
        const char* Error;
        int ConsumedBefore;
    } cases[] = {
        {"one bad job", {17}, -1, "bad job 17", 17},
        {"the earlier of two, however late it finishes", {40, 41, 90}, -1, "bad job 40", 40},
        {"a bad job before a read error", {6}, 10, "bad job 6", 6},
        {"a read error after good jobs", {}, 10, "read error before job 10", 10},
        {"a read error before a bad job", {12}, 10, "read error before job 10", 10},
        {"the very first job", {0}, -1, "bad job 0", 0},
    };
    for (const unsigned threads : {1u, 3u}) {
        for (const auto& c : cases) {
            SCOPED_TRACE(std::string(c.Name) + ", " + std::to_string(threads) + " threads");
            const TRun run = RunJobs(threads, 100, c.FailAt, c.ReadFailAt);
            EXPECT_EQ(run.Error, c.Error);
            EXPECT_EQ(run.Consumed, Upto(c.ConsumedBefore));
        }
    }
}

// The writer's batches go through the worker threads even for a small document when the tuning
// says so, and the file is byte for byte what one thread writes; a write that fails midway
// leaves the old file as it was.
TEST(RunInOrder, SaverWritesTheSameFileThroughItsWorkers) {
    TScratchDir dir;
    TPropdumpFile doc;
    doc.LoadFromMemory("propdump version 4\r\n", dir / "f", 0);
    for (int i = 0; i < 100; ++i) {
        TPropObject& o = doc.Objects.emplace_back();
        o.Owner = i * 7919;
        o.X = -i;
        o.Model = "m" + std::to_string(i);
        o.Description = std::string(static_cast<std::size_t>(i % 5), 'd');
        o.Data.assign(static_cast<std::size_t>(i % 3), static_cast<uint8_t>(i));
        o.DataLength = static_cast<int32_t>(o.Data.size());
    }
    std::string expected;
    {
        const TTuning oneThread(1, 0);
        doc.Save();
        expected = ReadBytes(dir / "f");
    }
    for (const std::size_t batch : {1u, 7u, 33u}) {
        SCOPED_TRACE("batches of " + std::to_string(batch));
        const TTuning small(3, batch);
        WriteBytes(dir / "f", "old");
        doc.Save();
        EXPECT_EQ(ReadBytes(dir / "f"), expected);

        WriteBytes(dir / "f", "old");
        TFailingWriter writer(expected.size() / 2);
        EXPECT_THROW(doc.Save(writer), std::system_error);
        EXPECT_EQ(ReadBytes(dir / "f"), "old");
    }
}
