// An area picked on the world map or named by two corner texts: what lies inside (the edges
// included, corners in any order) and which corner texts are refused.

#include "ops/MapArea.h"
#include "model/Convert.h"

#include <gtest/gtest.h>

#include <climits>
#include <string>

TEST(MapArea, HoldsWhatLiesBetweenTheCornersEdgesIncluded) {
    // "12.5N 7W" and "10S 3E": X from -3000 (east) to 7000 (west), Z from -10000 to 12500.
    const TMapArea Area = TMapArea::FromCornerTexts("10S 3E", "12.5N 7W 1.5a 90");
    EXPECT_EQ(Area.NorthWestText(), "12.5N 7W");
    EXPECT_EQ(Area.SouthEastText(), "10S 3E");
    const struct {
        int32_t X, Z;
        bool Inside;
    } Cases[] = {
        {7000, 12500, true}, {-3000, -10000, true}, {7000, -10000, true},  {-3000, 12500, true},
        {0, 0, true},        {7001, 0, false},      {-3001, 0, false},     {0, 12501, false},
        {0, -10001, false},  {7001, 12501, false},  {INT32_MIN, 0, false}, {0, INT32_MAX, false},
    };
    for (const auto& Case : Cases) {
        SCOPED_TRACE(std::to_string(Case.X) + " " + std::to_string(Case.Z));
        TPropObject Object;
        Object.X = Case.X;
        Object.Z = Case.Z;
        Object.Y = 99999; // altitude plays no part
        EXPECT_EQ(Area.Contains(Object), Case.Inside);
        EXPECT_EQ(
            TMapArea::FromCorners(Area.MinX, Area.MaxZ, Area.MaxX, Area.MinZ).Contains(Object),
            Case.Inside);
    }
    // A single point is an area too.
    EXPECT_TRUE(TMapArea::FromCornerTexts("0N 0W", "0n 0w").Contains(0, 0));
    EXPECT_FALSE(TMapArea::FromCornerTexts("0N 0W", "0n 0w").Contains(1, 0));
}

TEST(MapArea, RefusesCornersThatAreNoPosition) {
    const struct {
        const char* Text;
        const char* Message;
    } Cases[] = {
        {"12.5N", "'12.5N' is not a position such as \"12.5N 7W\""},
        {"", "'' is not a position such as \"12.5N 7W\""},
        {"north", "'north' is not a position such as \"12.5N 7W\""},
        {"3000000N 0W", "'3000000N 0W' is outside the world's coordinate range"},
    };
    for (const auto& Case : Cases) {
        SCOPED_TRACE(Case.Text);
        try {
            TMapArea::FromCornerTexts("1N 1W", Case.Text);
            ADD_FAILURE() << "accepted";
        } catch (const EConvertError& Error) {
            EXPECT_EQ(std::string(Error.what()), Case.Message);
        }
    }
}
