// Moving and turning objects: what each compass letter of an offset does, turns about a centre
// with the yaw turning along, the default centre, and the refusal of what leaves the 32-bit range.

#include "ops/Relocation.h"
#include "model/Convert.h"
#include "ops/WorldEdit.h"

#include <gtest/gtest.h>

#include <climits>
#include <random>
#include <string>
#include <vector>

namespace {

TPropObject At(int32_t X, int32_t Y, int32_t Z, int32_t Yaw = 0) {
    TPropObject Object;
    Object.X = X;
    Object.Y = Y;
    Object.Z = Z;
    Object.Yaw = Yaw;
    Object.Model = "house.rwx";
    return Object;
}

std::string Place(const TPropObject& Object) {
    return std::to_string(Object.X) + " " + std::to_string(Object.Y) + " " +
           std::to_string(Object.Z) + " yaw " + std::to_string(Object.Yaw);
}

} // namespace

// X grows to the west, Z to the north, Y upwards, each in thousandths.
TEST(Relocation, OffsetTakesEachCompassLetterWithItsSign) {
    const struct {
        const char* Text;
        int32_t X, Y, Z;
    } Cases[] = {
        {"200N 0E", 0, 0, 200000}, {"1.5S 2W 0.5a", 2000, 500, -1500},
        {"3e 4n", -3000, 0, 4000}, {"0.001s 0.001e -1.25a", -1, -1250, -1},
        {"0N 0W", 0, 0, 0},
    };
    for (const auto& Case : Cases) {
        SCOPED_TRACE(Case.Text);
        const TOffset By = ReadOffsetText(Case.Text);
        EXPECT_EQ(By, (TOffset{Case.X, Case.Y, Case.Z}));
        TPropObject Object = At(10, 20, 30, 450);
        TRelocation(By).Apply(Object);
        EXPECT_EQ(Place(Object), Place(At(10 + Case.X, 20 + Case.Y, 30 + Case.Z, 450)));
    }
    for (const char* Refused : {"12.5N", "", "north", "1N 2W 90", "1N 2W 0a 5", "3000000N 0W"}) {
        SCOPED_TRACE(Refused);
        EXPECT_THROW(ReadOffsetText(Refused), EConvertError);
    }
}

TEST(Relocation, TurnIsDegreesWithAtMostOneDecimal) {
    const struct {
        const char* Text;
        int32_t Tenths;
    } Cases[] = {{"90", 900}, {"-45", -450}, {"12.5", 125}, {"+7", 70}, {".5", 5}, {"720", 7200}};
    for (const auto& Case : Cases)
        EXPECT_EQ(ReadTurnText(Case.Text), Case.Tenths) << Case.Text;
    for (const char* Refused : {"", "-", "1.25", "ninety", "4 5", "90d", "99999999999"})
        EXPECT_THROW(ReadTurnText(Refused), EConvertError) << Refused;
}

// About the centre (1000, 2000): a positive angle turns north towards west, anticlockwise seen
// from above, and the yaw grows by the same angle, modulo a full turn.
TEST(Relocation, TurnsAboutTheCentreWithTheYaw) {
    const struct {
        const char* Name;
        int32_t Turn;
        TPropObject From;
        TPropObject To;
        TOffset By = {};
    } Cases[] = {
        {"quarter: north goes west", 900, At(1000, 5, 3000, 0), At(2000, 5, 2000, 900)},
        {"quarter: west goes south", 900, At(2500, 5, 2000, 3500), At(1000, 5, 500, 800)},
        {"half", 1800, At(1300, 5, 2400, 3590), At(700, 5, 1600, 1790)},
        {"minus a quarter: north goes east", -900, At(1000, 0, 3000, 100), At(0, 0, 2000, 2800)},
        {"three quarters as minus one", 2700, At(1000, 0, 3000, 100), At(0, 0, 2000, 2800)},
        {"eighth, rounded to the nearest unit", 450, At(1000, 0, 3000, 100),
         At(1707, 0, 2707, 550)},
        {"eighth the other way", -450, At(2000, 0, 2000, 0), At(1707, 0, 2707, 3150)},
        {"a stored yaw beyond a turn comes back in range", 900, At(1000, 0, 2000, 7200),
         At(1000, 0, 2000, 900)},
        {"a negative stored yaw too", 900, At(1000, 0, 2000, -10), At(1000, 0, 2000, 890)},
        {"a full turn changes nothing", 3600, At(1300, 0, 2400, 7200), At(1300, 0, 2400, 7200)},
        {"turn first, then the offset", 900, At(1000, 5, 3000, 0), At(2000, 505, 3000, 900),
         TOffset{0, 500, 1000}},
    };
    for (const auto& Case : Cases) {
        SCOPED_TRACE(Case.Name);
        TPropObject Object = Case.From;
        const TRelocation Move(Case.By, Case.Turn, 1000, 2000);
        ASSERT_FALSE(Move.Fault(Object));
        Move.Apply(Object);
        EXPECT_EQ(Place(Object), Place(Case.To));
    }
}

TEST(Relocation, FourQuarterTurnsGiveBackEveryObject) {
    std::mt19937 Random(26);
    std::uniform_int_distribution<int32_t> Coordinate(-5000000, 5000000);
    const TRelocation Quarter(TOffset{}, 900, 12345, -6789);
    for (int i = 0; i < 2000; ++i) {
        const TPropObject Original =
            At(Coordinate(Random), Coordinate(Random), Coordinate(Random), i % 3600);
        TPropObject Object = Original;
        for (int Turn = 0; Turn < 4; ++Turn)
            Quarter.Apply(Object);
        ASSERT_EQ(Place(Object), Place(Original));
    }
}

// The default centre is the middle of the extent, a half rounded up.
TEST(Relocation, DefaultCentreIsTheMiddleOfTheExtent) {
    TPropdumpFile Document;
    for (const auto& [X, Z] : {std::pair{-3, 10}, std::pair{0, 13}, std::pair{99, -4}})
        Document.Objects.push_back(At(X, 0, Z));
    const struct {
        std::vector<std::size_t> Positions;
        int32_t X, Z;
    } Cases[] = {{{0, 1}, -1, 12}, {{0}, -3, 10}, {{0, 1, 2}, 48, 5}, {{2, 0}, 48, 3}};
    for (const auto& Case : Cases) {
        const TBounds Bounds = BoundsOf(Document, Case.Positions);
        EXPECT_EQ(Bounds.CentreX(), Case.X);
        EXPECT_EQ(Bounds.CentreZ(), Case.Z);
    }
}

TEST(Relocation, RefusesWhatLeavesTheRangeNamingTheFirstObjectAndField) {
    const struct {
        const char* Name;
        TPropObject Object;
        TRelocation Move;
        char Field;
        int64_t Value;
    } Cases[] = {
        {"west past the edge", At(INT32_MAX - 5, 0, 0), TRelocation(TOffset{6, 0, 0}), 'X',
         int64_t{INT32_MAX} + 1},
        {"down past the floor", At(0, INT32_MIN, 0), TRelocation(TOffset{0, -1, 0}), 'Y',
         int64_t{INT32_MIN} - 1},
        {"south past the edge", At(0, 0, INT32_MIN + 1), TRelocation(TOffset{0, 0, -2}), 'Z',
         int64_t{INT32_MIN} - 1},
        {"turned past the edge", At(INT32_MAX, 0, 0), TRelocation(TOffset{}, 1800, -10, 0), 'X',
         int64_t{-20} - INT32_MAX},
    };
    for (const auto& Case : Cases) {
        SCOPED_TRACE(Case.Name);
        const auto Fault = Case.Move.Fault(Case.Object);
        ASSERT_TRUE(Fault);
        EXPECT_EQ(Fault->Field, Case.Field);
        EXPECT_EQ(Fault->Value, Case.Value);
    }
    EXPECT_FALSE(TRelocation(TOffset{-1, 0, 0}).Fault(At(INT32_MIN + 1, 0, 0)));

    // The whole move is refused before anything changes, copies included.
    TPropdumpFile Document;
    for (int32_t X : {0, INT32_MAX - 1, 5, INT32_MAX})
        Document.Objects.push_back(At(X, 0, 0));
    const std::vector<TPropObject> Before = Document.Objects;
    for (const bool Copy : {false, true}) {
        try {
            const TRelocation West(TOffset{2, 0, 0});
            if (Copy)
                CopyObjects(Document, {0, 1, 2, 3}, West);
            else
                MoveObjects(Document, {0, 1, 2, 3}, West);
            ADD_FAILURE() << "accepted";
        } catch (const ERelocationRange& Error) {
            EXPECT_EQ(Error.Position, 1u);
            EXPECT_EQ(std::string(Error.what()),
                      "Object 2 would leave the world's coordinate range: its X would be "
                      "2147483648, which a propdump file cannot hold; nothing was changed");
        }
        ASSERT_EQ(Document.Objects.size(), Before.size());
        for (std::size_t i = 0; i < Before.size(); ++i)
            EXPECT_EQ(Place(Document.Objects[i]), Place(Before[i]));
    }
}

// Copies follow the whole document in the found objects' order; the originals stay as they were.
TEST(Relocation, CopiesFollowTheDocumentInTheFoundOrder) {
    TPropdumpFile Document;
    for (int32_t i = 0; i < 5; ++i)
        Document.Objects.push_back(At(i, 0, 0, i));
    Document.Objects[3].MarkedForDeletion = true;
    const auto Step = CopyObjects(Document, {3, 0, 4}, TRelocation(TOffset{0, 0, 10}));
    ASSERT_NE(Step, nullptr);
    EXPECT_EQ(Step->Kind(), TChangeKind::Copy);
    std::vector<std::string> Places;
    for (const TPropObject& Object : Document.Objects)
        Places.push_back(Place(Object) + (Object.MarkedForDeletion ? " marked" : ""));
    EXPECT_EQ(Places, (std::vector<std::string>{"0 0 0 yaw 0", "1 0 0 yaw 1", "2 0 0 yaw 2",
                                                "3 0 0 yaw 3 marked", "4 0 0 yaw 4", "3 0 10 yaw 3",
                                                "0 0 10 yaw 0", "4 0 10 yaw 4"}));
    EXPECT_EQ(CopyObjects(Document, {}, TRelocation()), nullptr);
}
