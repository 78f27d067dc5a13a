#include "ops/Import.h"

#include "ops/Comparison.h"

#include <utility>

TImportRule::TImportRule(const TImportChoice& Choice, int ToVersion)
    : Filter(Choice.Criteria, Choice.Area), Move(Choice.By), Version(ToVersion),
      Missing(Choice.OnlyMissing) {}

void TImportRule::Prepare(TPropObject& Object, TVersionLoss& Loss) const {
    Loss.Add(Object, Version);
    ConvertObject(Object, Version);
    Move.Apply(Object);
    Object.MarkedForDeletion = false;
}

TImportPlan PlanImport(const TPropdumpFile& Into, const TPropdumpFile& From,
                       const TImportChoice& Choice) {
    const TImportRule Rule(Choice, Into.Version);
    std::vector<TPropObject> Chosen;
    // What each chosen object loses, so that only what is brought in counts.
    std::vector<TVersionLoss> Losses;
    for (std::size_t Index = 0; Index < From.Objects.size(); ++Index) {
        const TPropObject& Original = From.Objects[Index];
        if (!Rule.Selects(Original))
            continue;
        if (const auto Fault = Rule.Fault(Original))
            throw ERelocationRange(Index, *Fault);
        Chosen.push_back(Original);
        Rule.Prepare(Chosen.back(), Losses.emplace_back());
    }
    TImportPlan Plan;
    if (!Rule.OnlyMissing()) {
        Plan.Objects = std::move(Chosen);
        for (const TVersionLoss& Loss : Losses)
            Plan.Loss += Loss;
        return Plan;
    }
    // The objects to bring in are the old side: what the document lacks is what it removed.
    TComparison Comparison(TDumpSide::New);
    Comparison.Reserve(Into.Objects.size());
    for (const TPropObject& Object : Into.Objects)
        Comparison.Hold(PlaceKeyOf(Object));
    for (std::size_t Index = 0; Index < Chosen.size(); ++Index)
        Comparison.Stream(PlaceKeyOf(Chosen[Index]), Index);
    Comparison.Finish();
    Plan.Objects.reserve(Comparison.RemovedPositions().size());
    for (const uint64_t Position : Comparison.RemovedPositions()) {
        Plan.Objects.push_back(std::move(Chosen[Position]));
        Plan.Loss += Losses[Position];
    }
    return Plan;
}
