#include "ops/PositionRuns.h"

#include <stdexcept>
#include <utility>

void TPositionRuns::TBuilder::Add(std::size_t Position) {
    if (RunLength > 0) {
        const std::size_t RunEnd = RunFirst + RunLength;
        if (Position == RunEnd) {
            ++RunLength;
            ++Total;
            return;
        }
        if (Position < RunEnd)
            throw std::invalid_argument("Object positions must be added in ascending order");
        Flush();
    } else if (Position < EndOfFlushed) {
        throw std::invalid_argument("Object positions must be added in ascending order");
    }
    RunFirst = Position;
    RunLength = 1;
    ++Total;
}

void TPositionRuns::TBuilder::RemoveLast() {
    // The last position added always belongs to the run not yet written out.
    if (RunLength == 0)
        return;
    --RunLength;
    --Total;
}

void TPositionRuns::TBuilder::Flush() {
    // Built aside and appended in one step, so that a failed allocation leaves no half run.
    uint8_t Encoded[2 * 10];
    std::size_t Size = 0;
    for (std::size_t Value : {RunFirst - EndOfFlushed, RunLength - 1}) {
        while (Value >= 0x80) {
            Encoded[Size++] = static_cast<uint8_t>(Value | 0x80);
            Value >>= 7;
        }
        Encoded[Size++] = static_cast<uint8_t>(Value);
    }
    Bytes.insert(Bytes.end(), Encoded, Encoded + Size);
    EndOfFlushed = RunFirst + RunLength;
    RunLength = 0;
}

TPositionRuns TPositionRuns::TBuilder::Finish() {
    if (RunLength > 0)
        Flush();
    TPositionRuns Result;
    Result.Bytes = std::move(Bytes);
    Result.Bytes.shrink_to_fit();
    Result.Total = Total;
    Result.EndPosition = EndOfFlushed;
    *this = TBuilder();
    return Result;
}

std::vector<TPositionRuns::TRun> TPositionRuns::Runs() const {
    std::vector<TRun> Result;
    ForEachRun([&Result](std::size_t First, std::size_t Length) {
        Result.push_back({First, Length});
    });
    return Result;
}
