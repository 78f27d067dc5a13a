// Comparing two dumps: objects pair by place, equal ones first, then in file order; and bringing
// objects in from another dump, converted, moved and filtered, only the missing ones if asked.

#include "ops/Comparison.h"
#include "ops/Import.h"

#include <gtest/gtest.h>

#include <string>
#include <utility>
#include <vector>

namespace {

// "Pa": an object at place P whose other fields are those of a.
TPropObject ObjectOf(const std::string& Text) {
    TPropObject Object;
    Object.X = Text[0] * 1000;
    Object.Y = -7;
    Object.Z = Text[0];
    Object.Owner = Text[1];
    Object.Model = std::string(1, Text[1]) + ".rwx";
    return Object;
}

std::vector<TPropObject> ObjectsOf(const std::vector<std::string>& Texts) {
    std::vector<TPropObject> Objects;
    for (const std::string& Text : Texts)
        Objects.push_back(ObjectOf(Text));
    return Objects;
}

TComparison Compare(const std::vector<TPropObject>& Old, const std::vector<TPropObject>& New,
                    TDumpSide Held, bool Lists) {
    TComparison Comparison(Held, Lists);
    const auto& Kept = Held == TDumpSide::Old ? Old : New;
    const auto& Other = Held == TDumpSide::Old ? New : Old;
    for (const TPropObject& Object : Kept)
        Comparison.Hold(PlaceKeyOf(Object));
    for (std::size_t i = 0; i < Other.size(); ++i)
        Comparison.Stream(PlaceKeyOf(Other[i]), i);
    Comparison.Finish();
    return Comparison;
}

} // namespace

TEST(Comparison, PairsByPlaceEqualObjectsFirstThenInFileOrder) {
    using TPairs = std::vector<std::pair<uint64_t, uint64_t>>;
    const struct {
        const char* Name;
        std::vector<std::string> Old, New;
        std::vector<uint64_t> Added, Removed;
        TPairs Changed;
    } Cases[] = {
        {"the same", {"Pa", "Qb"}, {"Pa", "Qb"}, {}, {}, {}},
        {"another order in the file", {"Pa", "Qb"}, {"Qb", "Pa"}, {}, {}, {}},
        {"changed in place", {"Pa"}, {"Pb"}, {}, {}, {{0, 0}}},
        {"equal ones pair first", {"Pa", "Pb"}, {"Pb", "Pc"}, {}, {}, {{0, 1}}},
        {"of two equal ones the first pairs", {"Pa", "Pa"}, {"Pa"}, {}, {1}, {}},
        {"more at the place in the new", {"Pa"}, {"Px", "Py", "Pa"}, {0, 1}, {}, {}},
        {"a later equal pair leaves one without", {"Pa", "Pb"}, {"Px", "Pa", "Pb"}, {0}, {}, {}},
        {"the rest pair in file order",
         {"Pa", "Pb", "Pc"},
         {"Px", "Py", "Pb"},
         {},
         {},
         {{0, 0}, {2, 1}}},
        {"places of their own", {"Pa", "Qa"}, {"Ra", "Pa"}, {0}, {1}, {}},
        {"three places, one of each", {"Pa", "Qa", "Sa"}, {"Sa", "Qb", "Ra"}, {2}, {0}, {{1, 1}}},
        {"nothing before", {}, {"Pa", "Pa"}, {0, 1}, {}, {}},
    };
    for (const auto& Case : Cases) {
        for (const TDumpSide Held : {TDumpSide::Old, TDumpSide::New}) {
            SCOPED_TRACE(std::string(Case.Name) +
                         (Held == TDumpSide::Old ? ", old held" : ", new held"));
            const std::vector<TPropObject> Old = ObjectsOf(Case.Old), New = ObjectsOf(Case.New);
            const TComparison Lists = Compare(Old, New, Held, true);
            EXPECT_EQ(Lists.AddedPositions(), Case.Added);
            EXPECT_EQ(Lists.RemovedPositions(), Case.Removed);
            EXPECT_EQ(Lists.ChangedPairs(), Case.Changed);
            const TComparison Counts = Compare(Old, New, Held, false);
            EXPECT_EQ(Counts.Added(), Case.Added.size());
            EXPECT_EQ(Counts.Removed(), Case.Removed.size());
            EXPECT_EQ(Counts.Changed(), Case.Changed.size());
            EXPECT_EQ(Counts.Same(),
                      Case.Added.empty() && Case.Removed.empty() && Case.Changed.empty());
        }
    }
}

// Every field but the place counts towards "changed"; DataLength only says how much Data there is.
TEST(Comparison, AnyFieldMakesAChange) {
    const std::vector<void (*)(TPropObject&)> Changes = {
        [](TPropObject& O) { O.Owner = 2; },
        [](TPropObject& O) { O.Timestamp = 3; },
        [](TPropObject& O) { O.Yaw = 1; },
        [](TPropObject& O) { O.Tilt = -1; },
        [](TPropObject& O) { O.Roll = 4; },
        [](TPropObject& O) { O.ObjectType = 2; },
        [](TPropObject& O) { O.Model += "x"; },
        [](TPropObject& O) { O.Description = "y"; },
        [](TPropObject& O) { O.Action = "x"; },
        [](TPropObject& O) { O.Data = {0}; },
        // A byte that moves from one text to the next.
        [](TPropObject& O) {
            O.Model = "a.rwxx";
            O.Description = "";
        },
    };
    TPropObject Base = ObjectOf("Pa");
    Base.Description = "x";
    for (std::size_t i = 0; i < Changes.size(); ++i) {
        TPropObject Changed = Base;
        Changes[i](Changed);
        EXPECT_EQ(Compare({Base}, {Changed}, TDumpSide::Old, false).Changed(), 1u) << i;
    }
    TPropObject Moved = Base;
    Moved.Y += 1;
    const TComparison Elsewhere = Compare({Base}, {Moved}, TDumpSide::Old, false);
    EXPECT_EQ(Elsewhere.Added() + Elsewhere.Removed(), 2u);
    TPropObject Counted = Base;
    Counted.DataLength = 5;
    EXPECT_TRUE(Compare({Base}, {Counted}, TDumpSide::New, false).Same());
}

// A version-4 backup brought into a version-3 dump: the objects the criteria find, converted and
// moved, or only those the dump lacks once converted and moved.
TEST(Import, ConvertsMovesAndFilters) {
    TPropdumpFile Backup;
    Backup.Version = 4;
    for (const char* Text : {"Pa", "Qb", "Ra", "Sa"})
        Backup.Objects.push_back(ObjectOf(Text));
    Backup.Objects[1].ObjectType = 2; // a zone with data
    Backup.Objects[1].Data = {1, 2};
    Backup.Objects[1].DataLength = 2;
    Backup.Objects[2].Tilt = 5;
    TPropdumpFile Today;
    Today.Version = 3;
    Today.Objects = {Backup.Objects[0], ObjectOf("Sz")};
    Today.Objects[0].Tilt = 0;

    const auto Owner = [](char Letter) {
        TSearchCriteria Criteria;
        Criteria.Fields.Set(sfCitNums, true);
        Criteria.CitNumsText = std::to_string(static_cast<int>(Letter));
        return Criteria;
    };
    const auto Choice = [](TSearchCriteria Criteria, std::optional<TMapArea> Area, TOffset By,
                           bool OnlyMissing) {
        TImportChoice Result;
        Result.Criteria = std::move(Criteria);
        Result.Area = Area;
        Result.By = By;
        Result.OnlyMissing = OnlyMissing;
        return Result;
    };
    const struct {
        const char* Name;
        TImportChoice Choice;
        std::vector<std::string> Objects; // as imported, before the offset
        std::size_t TypeOrData;
    } Cases[] = {
        {"everything", Choice({}, {}, {}, false), {"Pa", "Qb", "Ra", "Sa"}, 1},
        {"by the criteria", Choice(Owner('a'), {}, {}, false), {"Pa", "Ra", "Sa"}, 0},
        {"by the area",
         Choice({}, TMapArea::FromCorners('Q' * 1000, 0, 'R' * 1000, 'R'), {}, false),
         {"Qb", "Ra"},
         1},
        // Sa pairs with the dump's changed Sz: the dump has that object.
        {"only what is missing", Choice({}, {}, {}, true), {"Qb", "Ra"}, 1},
        {"missing and found", Choice(Owner('a'), {}, {}, true), {"Ra"}, 0},
        {"moved, all missing then",
         Choice(Owner('a'), {}, TOffset{0, 1, 0}, true),
         {"Pa", "Ra", "Sa"},
         0},
    };
    for (const auto& Case : Cases) {
        SCOPED_TRACE(Case.Name);
        const TImportPlan Plan = PlanImport(Today, Backup, Case.Choice);
        ASSERT_EQ(Plan.Objects.size(), Case.Objects.size());
        for (std::size_t i = 0; i < Plan.Objects.size(); ++i) {
            const TPropObject& Object = Plan.Objects[i];
            const TPropObject Expected = ObjectOf(Case.Objects[i]);
            EXPECT_EQ(Object.X, Expected.X);
            EXPECT_EQ(Object.Y, Expected.Y + Case.Choice.By.Y);
            EXPECT_EQ(Object.Owner, Expected.Owner);
            EXPECT_EQ(Object.ObjectType, 0);
            EXPECT_TRUE(Object.Data.empty());
            EXPECT_EQ(Object.DataLength, 0);
            EXPECT_EQ(Object.Tilt, Case.Objects[i] == "Ra" ? 5 : 0); // version 3 keeps tilt
        }
        EXPECT_EQ(Plan.Loss.TypeOrData, Case.TypeOrData);
        EXPECT_EQ(Plan.Loss.TiltOrRoll, 0u);
    }
    Today.Version = 2;
    const TImportPlan Down = PlanImport(Today, Backup, TImportChoice());
    EXPECT_EQ(Down.Loss.TiltOrRoll, 1u);
    EXPECT_EQ(Down.Objects[2].Tilt, 0);

    TImportChoice TooFar;
    TooFar.By = TOffset{INT32_MAX, 0, 0};
    EXPECT_THROW(PlanImport(Today, Backup, TooFar), ERelocationRange);
}
