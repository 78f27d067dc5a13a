#pragma once

// Ascending object positions kept as runs of neighbours: each run is the gap from the end of the
// run before and the run's length, both as variable-length numbers. A change to every object is
// one run of a few bytes; scattered positions cost one to six bytes each.

#include <cstddef>
#include <cstdint>
#include <vector>

class TPositionRuns {
public:
    // Scattered positions cost at most this many bytes each.
    static constexpr std::size_t MostBytesPerPosition = 6;

    struct TRun {
        std::size_t First;
        std::size_t Length;
    };

    // Takes positions in strictly ascending order.
    class TBuilder {
    public:
        // std::invalid_argument when Position does not come after the last one added.
        void Add(std::size_t Position);
        // The last position added is taken back (it was not changed after all).
        void RemoveLast();
        std::size_t Count() const { return Total; }
        TPositionRuns Finish();

    private:
        void Flush();

        std::vector<uint8_t> Bytes;
        std::size_t EndOfFlushed = 0;
        std::size_t RunFirst = 0;
        std::size_t RunLength = 0;
        std::size_t Total = 0;
    };

    std::size_t Count() const { return Total; }
    // One past the largest position; 0 when there is none.
    std::size_t End() const { return EndPosition; }
    std::size_t HeapBytes() const { return Bytes.capacity(); }

    // Visit(First, Length) for every run, in ascending order.
    template <class TVisit> void ForEachRun(TVisit&& Visit) const {
        std::size_t At = 0;
        std::size_t Position = 0;
        while (At < Bytes.size()) {
            Position += ReadNumber(At);
            const std::size_t Length = ReadNumber(At) + 1;
            Visit(Position, Length);
            Position += Length;
        }
    }
    // Visit(Position) for every position, in ascending order.
    template <class TVisit> void ForEach(TVisit&& Visit) const {
        ForEachRun([&Visit](std::size_t First, std::size_t Length) {
            for (std::size_t Position = First; Position < First + Length; ++Position)
                Visit(Position);
        });
    }
    // The runs one by one, for walks that go backwards.
    std::vector<TRun> Runs() const;

private:
    std::size_t ReadNumber(std::size_t& At) const {
        std::size_t Value = 0;
        for (unsigned Shift = 0;; Shift += 7) {
            const uint8_t Byte = Bytes[At++];
            Value |= static_cast<std::size_t>(Byte & 0x7F) << Shift;
            if (!(Byte & 0x80))
                return Value;
        }
    }

    std::vector<uint8_t> Bytes;
    std::size_t Total = 0;
    std::size_t EndPosition = 0;
};
