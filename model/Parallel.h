#pragma once

// Work on a stream of batches spread over threads, with the results handed on in stream order:
// the engine behind the document's writer and the command-line tool's streaming commands.

#include <algorithm>
#include <condition_variable>
#include <cstddef>
#include <deque>
#include <exception>
#include <mutex>
#include <system_error>
#include <thread>
#include <utility>
#include <vector>

// A thread that runs f, or none (not joinable) when the system has none to give.
template <class F> std::jthread TryToStartThread(F&& f) {
    try {
        return std::jthread(std::forward<F>(f));
    } catch (const std::system_error&) {
        return {};
    }
}

// How much work goes to other threads, process-wide. Tests make them small, so that small
// documents reach the helper threads on purpose.
struct TBatchTuning {
    unsigned Threads = 0;      // worker threads; 0: as many as the machine has cores, up to 4
    std::size_t BatchSize = 0; // items per batch for the callers that count in items; 0: theirs
    std::size_t BlockBytes = 0; // bytes per block for the readers of text (TBlockReader); 0: 1 MiB
};
inline TBatchTuning& BatchTuning() {
    static TBatchTuning Tuning;
    return Tuning;
}

// Worker threads worth starting: the cores there are, but not so many that the thread that
// reads or consumes cannot keep them busy.
inline unsigned WorkerThreads() {
    if (const unsigned Set = BatchTuning().Threads; Set != 0)
        return Set;
    return std::clamp(std::thread::hardware_concurrency(), 1u, 4u);
}

// Next(Job) fills the next job on the calling thread and returns false at the end of the stream;
// Work(Worker, Job) runs on worker thread Worker (0 .. Threads-1); Consume(Job) runs on the
// calling thread in stream order. Jobs are reused, so their storage is too, and at most two per
// thread are held at once: memory stays bounded whatever the stream's length. An exception from
// Work reaches the caller when its job's turn to be consumed comes, and one from Next after every
// job before it was consumed: the first error in stream order wins, and later work is dropped.
// Without threads (Threads <= 1, or none to be had) everything runs on the calling thread.
template <class TJob, class TNext, class TWork, class TConsume>
void RunInOrder(unsigned Threads, TNext&& Next, TWork&& Work, TConsume&& Consume) {
    struct TSlot {
        TJob Job;
        std::exception_ptr Error;
        bool Done = false;
    };

    std::vector<TSlot> Slots(std::max(2u, 2 * Threads));
    std::mutex Lock;
    std::condition_variable Queued;
    std::condition_variable Finished;
    std::deque<TSlot*> Queue;
    bool Closing = false;

    const auto WorkerLoop = [&](unsigned Worker) {
        for (;;) {
            TSlot* Slot = nullptr;
            {
                std::unique_lock Guard(Lock);
                Queued.wait(Guard, [&] { return Closing || !Queue.empty(); });
                if (Queue.empty())
                    return;
                Slot = Queue.front();
                Queue.pop_front();
            }
            try {
                Work(Worker, Slot->Job);
            } catch (...) {
                Slot->Error = std::current_exception();
            }
            {
                const std::lock_guard Guard(Lock);
                Slot->Done = true;
            }
            Finished.notify_all();
        }
    };

    // Stops and joins the workers on every way out, an exception included.
    struct TWorkers {
        std::mutex& Lock;
        std::condition_variable& Queued;
        std::deque<TSlot*>& Queue;
        bool& Closing;
        std::vector<std::jthread> Threads;
        ~TWorkers() {
            {
                const std::lock_guard Guard(Lock);
                Closing = true;
                Queue.clear();
            }
            Queued.notify_all();
            for (std::jthread& Thread : Threads)
                if (Thread.joinable())
                    Thread.join();
        }
    } Workers{Lock, Queued, Queue, Closing, {}};
    // Room first: a thread already started must never be left to a jthread that joins it
    // because keeping it ran out of memory, since it only ends once the workers are closed.
    if (Threads > 1)
        Workers.Threads.reserve(Threads);
    if (Threads > 1)
        for (unsigned Worker = 0; Worker < Threads; ++Worker)
            if (std::jthread Thread =
                    TryToStartThread([&WorkerLoop, Worker] { WorkerLoop(Worker); });
                Thread.joinable())
                Workers.Threads.push_back(std::move(Thread));

    if (Workers.Threads.empty()) {
        TSlot& Slot = Slots.front();
        while (Next(Slot.Job)) {
            Work(0u, Slot.Job);
            Consume(Slot.Job);
        }
        return;
    }

    std::size_t Read = 0;
    std::size_t Consumed = 0;
    bool More = true;
    std::exception_ptr ReadError;
    for (;;) {
        while (More && Read - Consumed < Slots.size()) {
            TSlot& Slot = Slots[Read % Slots.size()];
            try {
                More = Next(Slot.Job);
            } catch (...) {
                ReadError = std::current_exception();
                More = false;
            }
            if (!More)
                break;
            {
                const std::lock_guard Guard(Lock);
                Slot.Done = false;
                Slot.Error = nullptr;
                Queue.push_back(&Slot);
            }
            Queued.notify_one();
            ++Read;
        }
        if (Consumed == Read)
            break;
        TSlot& Slot = Slots[Consumed % Slots.size()];
        {
            std::unique_lock Guard(Lock);
            Finished.wait(Guard, [&] { return Slot.Done; });
        }
        if (Slot.Error)
            std::rethrow_exception(Slot.Error);
        Consume(Slot.Job);
        ++Consumed;
    }
    if (ReadError)
        std::rethrow_exception(ReadError);
}
