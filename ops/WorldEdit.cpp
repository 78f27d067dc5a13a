#include "ops/WorldEdit.h"

#include "model/HeapBytes.h"
#include "ops/PositionRuns.h"

#include <algorithm>
#include <iterator>
#include <stdexcept>
#include <utility>

namespace {

void RequireObjects(const TPropdumpFile& Document, std::size_t Needed) {
    if (Document.Objects.size() < Needed)
        throw std::out_of_range("The document no longer holds the objects of this change");
}

struct TOldPlace {
    int32_t X, Y, Z, Yaw;
};

class TMoveStep final : public TUndoStep {
public:
    TMoveStep(TPositionRuns Positions, std::vector<TOldPlace> Old, const TRelocation& Move)
        : TUndoStep(TChangeKind::Move, Positions.Count()), Positions(std::move(Positions)),
          Old(std::move(Old)), Move(Move) {}

    void Undo(TPropdumpFile& Document) override {
        RequireObjects(Document, Positions.End());
        std::size_t Ordinal = 0;
        Positions.ForEach([&](std::size_t At) {
            TPropObject& Object = Document.Objects[At];
            const TOldPlace& Place = Old[Ordinal++];
            Object.X = Place.X;
            Object.Y = Place.Y;
            Object.Z = Place.Z;
            Object.Yaw = Place.Yaw;
        });
    }

    // The objects stand where the move found them, so it lands them where it did.
    void Redo(TPropdumpFile& Document) override {
        RequireObjects(Document, Positions.End());
        Positions.ForEach([&](std::size_t At) { Move.Apply(Document.Objects[At]); });
    }

    std::size_t HeapBytes() const override {
        return sizeof(*this) + Positions.HeapBytes() + Old.capacity() * sizeof(TOldPlace);
    }

private:
    const TPositionRuns Positions;
    const std::vector<TOldPlace> Old;
    const TRelocation Move;
};

// While done the appended objects are the document's tail; while undone they live here.
class TAppendStep final : public TUndoStep {
public:
    TAppendStep(TChangeKind Kind, std::size_t Count) : TUndoStep(Kind, Count) {}

    void Undo(TPropdumpFile& Document) override {
        if (!Tail.empty())
            throw std::logic_error("This change has been undone already");
        RequireObjects(Document, Count());
        std::vector<TPropObject>& Objects = Document.Objects;
        const auto First = Objects.end() - static_cast<std::ptrdiff_t>(Count());
        Tail.reserve(Count());
        std::move(First, Objects.end(), std::back_inserter(Tail));
        Objects.erase(First, Objects.end());
        TailBytes = 0;
        for (const TPropObject& Object : Tail)
            TailBytes += HeapBytesOf(Object);
    }

    void Redo(TPropdumpFile& Document) override {
        if (Tail.size() != Count())
            throw std::logic_error("This change has been done already");
        std::vector<TPropObject>& Objects = Document.Objects;
        // Room first: once the objects move, nothing can fail.
        Objects.reserve(Objects.size() + Tail.size());
        std::move(Tail.begin(), Tail.end(), std::back_inserter(Objects));
        Tail = {};
        TailBytes = 0;
    }

    std::size_t HeapBytes() const override {
        return sizeof(*this) + Tail.capacity() * sizeof(TPropObject) + TailBytes;
    }

private:
    std::vector<TPropObject> Tail;
    std::size_t TailBytes = 0;
};

} // namespace

void CheckRelocation(const TPropdumpFile& Document, const std::vector<std::size_t>& Positions,
                     const TRelocation& Move) {
    // Every refusal comes before the first change.
    for (const std::size_t Position : Positions)
        if (const auto Fault = Move.Fault(Document.Objects.at(Position)))
            throw ERelocationRange(Position, *Fault);
}

std::size_t MoveStepBytes(std::size_t Count) {
    return sizeof(TMoveStep) + Count * (TPositionRuns::MostBytesPerPosition + sizeof(TOldPlace));
}

std::size_t AppendStepBytes() {
    return sizeof(TAppendStep);
}

TBounds BoundsOf(const TPropdumpFile& Document, const std::vector<std::size_t>& Positions) {
    TBounds Bounds;
    for (const std::size_t Position : Positions)
        Bounds.Add(Document.Objects.at(Position));
    return Bounds;
}

std::unique_ptr<TUndoStep> MoveObjects(TPropdumpFile& Document,
                                       const std::vector<std::size_t>& Positions,
                                       const TRelocation& Move) {
    CheckRelocation(Document, Positions, Move);
    if (Positions.empty())
        return nullptr;
    std::vector<std::size_t> Sorted = Positions;
    std::sort(Sorted.begin(), Sorted.end());
    Sorted.erase(std::unique(Sorted.begin(), Sorted.end()), Sorted.end());
    TPositionRuns::TBuilder Runs;
    std::vector<TOldPlace> Old;
    Old.reserve(Sorted.size());
    for (const std::size_t Position : Sorted) {
        const TPropObject& Object = Document.Objects[Position];
        Runs.Add(Position);
        Old.push_back({Object.X, Object.Y, Object.Z, Object.Yaw});
    }
    auto Step = std::make_unique<TMoveStep>(Runs.Finish(), std::move(Old), Move);
    for (const std::size_t Position : Sorted)
        Move.Apply(Document.Objects[Position]);
    return Step;
}

std::unique_ptr<TUndoStep> CopyObjects(TPropdumpFile& Document,
                                       const std::vector<std::size_t>& Positions,
                                       const TRelocation& Move) {
    CheckRelocation(Document, Positions, Move);
    if (Positions.empty())
        return nullptr;
    std::vector<TPropObject>& Objects = Document.Objects;
    auto Step = std::make_unique<TAppendStep>(TChangeKind::Copy, Positions.size());
    const std::size_t Before = Objects.size();
    Objects.reserve(Before + Positions.size());
    try {
        for (const std::size_t Position : Positions) {
            Objects.push_back(Objects[Position]);
            Objects.back().MarkedForDeletion = false;
            Move.Apply(Objects.back());
        }
    } catch (...) {
        Objects.resize(Before);
        throw;
    }
    return Step;
}

std::unique_ptr<TUndoStep> AppendObjects(TPropdumpFile& Document,
                                         std::vector<TPropObject> Objects) {
    if (Objects.empty())
        return nullptr;
    auto Step = std::make_unique<TAppendStep>(TChangeKind::Import, Objects.size());
    std::vector<TPropObject>& Into = Document.Objects;
    Into.reserve(Into.size() + Objects.size());
    std::move(Objects.begin(), Objects.end(), std::back_inserter(Into));
    return Step;
}
