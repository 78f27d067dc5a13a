#pragma once

// The objects of a file, streamed: every object line parsed on one of the worker threads into
// that thread's own object, whose storage is reused, so a line costs no allocation.

#include "cli/Errors.h"
#include "cli/ObjectSource.h"
#include "model/Parallel.h"
#include "model/Propdmp.h"

#include <cstdint>
#include <string_view>
#include <type_traits>
#include <vector>

// Work(Worker, Batch, Result) runs on worker thread Worker (0 .. Threads-1) and fills Result,
// which holds the result of an earlier batch: Work starts by clearing it (keeping its storage).
// Consume(Batch, Result) runs on the calling thread, in file order; the first error in the file
// wins (RunInOrder).
template <class TResult, class TWork, class TConsume>
void RunBatches(TObjectSource& Source, unsigned Threads, TWork&& Work, TConsume&& Consume) {
    struct TJob {
        TBatch Batch;
        TResult Result;
    };
    RunInOrder<TJob>(
        Threads, [&](TJob& Job) { return Source.Next(Job.Batch); },
        [&](unsigned Worker, TJob& Job) {
            Source.Cut(Job.Batch);
            Work(Worker, static_cast<const TBatch&>(Job.Batch), Job.Result);
        },
        [&](TJob& Job) { Consume(static_cast<const TBatch&>(Job.Batch), Job.Result); });
}

// What one worker thread keeps for itself, on cache lines of its own: two threads writing to
// neighbouring objects would otherwise keep taking the line from each other.
template <class T> struct alignas(64) TPerWorker { T Value; };

// Parses every object line of Batch into Object, taking the texts and data named by Parts
// (TLinePart), and calls OnObject(Object, Index, Line) with its 0-based position in the document. A
// line that does not parse, or holds a NUL byte the file cannot be read past, goes to
// OnBadLine(Line, Message) with its 1-based line number. A line for which PassOver(Line) is true
// is skipped: it is known to be readable and of no interest.
template <class TPassOver, class TOnObject, class TOnBadLine>
void ForEachObject(const TBatch& Batch, int Version, uint64_t HeaderLines, unsigned Parts,
                   TPropObject& Object, TPassOver&& PassOver, TOnObject&& OnObject,
                   TOnBadLine&& OnBadLine) {
    uint64_t Line = Batch.FirstLine;
    uint64_t Index = Batch.FirstObject;
    for (std::size_t i = 0; i < Batch.Lines.size(); ++i) {
        const std::string_view Text = Batch.Lines[i];
        const uint64_t Number = Line++;
        if (Number <= HeaderLines)
            continue;
        if (Batch.EndsInNulLine && i + 1 == Batch.Lines.size()) {
            OnBadLine(Number, NulByteMessage);
            ++Index;
            continue;
        }
        if (PassOver(Text)) {
            ++Index;
            continue;
        }
        try {
            Object.ParseLine(Version, Text, Parts);
        } catch (const EPropdumpError& Error) {
            OnBadLine(Number, Error.what());
            ++Index;
            continue;
        }
        OnObject(Object, Index++, Text);
    }
}

// Runs OnObject(Worker, Object, Index, Result) for every object (with the parts named by Parts) and
// OnBadLine(Line, Message, Result) for every line that does not parse, on the worker threads, a
// batch at a time; each batch's Result (cleared first with its Clear()) goes to Consume(Batch,
// Result) in file order. An OnObject that also takes the object's Line can parse more of it
// once it knows it needs the rest; a PassOver that also takes the Result may deal with a line
// itself, without its object.
template <class TResult, class TPassOver, class TOnObject, class TOnBadLine, class TConsume>
void StreamObjects(TObjectSource& Source, unsigned Parts, TPassOver&& PassOver,
                   TOnObject&& OnObject, TOnBadLine&& OnBadLine, TConsume&& Consume) {
    const unsigned Threads = WorkerThreads();
    std::vector<TPerWorker<TPropObject>> Objects(Threads);
    RunBatches<TResult>(
        Source, Threads,
        [&](unsigned Worker, const TBatch& Batch, TResult& Result) {
            Result.Clear();
            ForEachObject(
                Batch, Source.Version(), Source.HeaderLines(), Parts, Objects[Worker].Value,
                [&](std::string_view Line) {
                    if constexpr (std::is_invocable_v<TPassOver&, std::string_view, TResult&>)
                        return PassOver(Line, Result);
                    else
                        return PassOver(Line);
                },
                [&](TPropObject& Object, uint64_t Index, std::string_view Line) {
                    if constexpr (std::is_invocable_v<TOnObject&, unsigned, TPropObject&, uint64_t,
                                                      TResult&, std::string_view>)
                        OnObject(Worker, Object, Index, Result, Line);
                    else
                        OnObject(Worker, Object, Index, Result);
                },
                [&](uint64_t Line, const char* Message) { OnBadLine(Line, Message, Result); });
        },
        Consume);
}

template <class TResult, class TOnObject, class TOnBadLine, class TConsume>
void StreamObjects(TObjectSource& Source, unsigned Parts, TOnObject&& OnObject,
                   TOnBadLine&& OnBadLine, TConsume&& Consume) {
    StreamObjects<TResult>(
        Source, Parts, [](std::string_view) { return false; }, OnObject, OnBadLine, Consume);
}

// For the commands that cannot go on past a bad line: the first one ends the run.
inline auto StopAtBadLine(const std::string& File) {
    return [&File](uint64_t Line, const char* Message, const auto&) {
        throw EInputError(File, Line, Message);
    };
}
