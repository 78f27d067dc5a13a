#pragma once

// Streams a file through a command on all cores while keeping file order. The calling thread reads
// batches of lines and hands their results on in file order; worker threads do the per-line work
// (parsing, testing, formatting), each with its own state. At most a few batches are in flight,
// so memory stays small whatever the file's size.

#include "cli/ObjectSource.h"

#include <algorithm>
#include <condition_variable>
#include <cstddef>
#include <deque>
#include <exception>
#include <mutex>
#include <thread>
#include <vector>

// Threads worth starting: the cores there are, but not so many that the reading thread cannot
// keep them busy.
inline unsigned WorkerThreads() {
    return std::clamp(std::thread::hardware_concurrency(), 1u, 4u);
}

// Work(Worker, Batch, Result) runs on worker thread Worker (0 .. Threads-1) and fills Result,
// which holds the result of an earlier batch: Work starts by clearing it (keeping its storage).
// Consume(Batch, Result) runs on the calling thread, in file order. An exception from Work reaches
// the caller when its batch's turn to be consumed comes, so the first error in the file wins.
template <class TResult, class TWork, class TConsume>
void RunBatches(TObjectSource& Source, unsigned Threads, TWork&& Work, TConsume&& Consume) {
    struct TJob {
        TBatch Batch;
        TResult Result;
        std::exception_ptr Error;
        bool Done = false;
    };

    if (Threads <= 1) {
        TJob Job;
        while (Source.Next(Job.Batch)) {
            Work(0u, static_cast<const TBatch&>(Job.Batch), Job.Result);
            Consume(static_cast<const TBatch&>(Job.Batch), Job.Result);
        }
        return;
    }

    std::vector<TJob> Jobs(2 * Threads);
    std::mutex Lock;
    std::condition_variable Queued;
    std::condition_variable Finished;
    std::deque<TJob*> Queue;
    bool Closing = false;

    const auto WorkerLoop = [&](unsigned Worker) {
        for (;;) {
            TJob* Job = nullptr;
            {
                std::unique_lock Guard(Lock);
                Queued.wait(Guard, [&] { return Closing || !Queue.empty(); });
                if (Queue.empty())
                    return;
                Job = Queue.front();
                Queue.pop_front();
            }
            try {
                Work(Worker, static_cast<const TBatch&>(Job->Batch), Job->Result);
            } catch (...) {
                Job->Error = std::current_exception();
            }
            {
                std::lock_guard Guard(Lock);
                Job->Done = true;
            }
            Finished.notify_all();
        }
    };

    // Stops and joins the workers on every way out, an exception included.
    struct TWorkers {
        std::mutex& Lock;
        std::condition_variable& Queued;
        std::deque<TJob*>& Queue;
        bool& Closing;
        std::vector<std::thread> Threads;
        ~TWorkers() {
            {
                std::lock_guard Guard(Lock);
                Closing = true;
                Queue.clear();
            }
            Queued.notify_all();
            for (std::thread& Thread : Threads)
                Thread.join();
        }
    } Workers{Lock, Queued, Queue, Closing, {}};
    for (unsigned Worker = 0; Worker < Threads; ++Worker)
        Workers.Threads.emplace_back(WorkerLoop, Worker);

    std::size_t Read = 0;
    std::size_t Consumed = 0;
    bool More = true;
    for (;;) {
        while (More && Read - Consumed < Jobs.size()) {
            TJob& Job = Jobs[Read % Jobs.size()];
            if (!Source.Next(Job.Batch)) {
                More = false;
                break;
            }
            {
                std::lock_guard Guard(Lock);
                Job.Done = false;
                Job.Error = nullptr;
                Queue.push_back(&Job);
            }
            Queued.notify_one();
            ++Read;
        }
        if (Consumed == Read)
            return;
        TJob& Job = Jobs[Consumed % Jobs.size()];
        {
            std::unique_lock Guard(Lock);
            Finished.wait(Guard, [&] { return Job.Done; });
        }
        if (Job.Error)
            std::rethrow_exception(Job.Error);
        Consume(static_cast<const TBatch&>(Job.Batch), Job.Result);
        ++Consumed;
    }
}
