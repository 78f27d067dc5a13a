#include "text/PositionInfo.h"

#include "model/Convert.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <climits>
#include <cstdlib>
#include <random>
#include <string>

namespace {

struct TWriteCase {
    int32_t X, Y, Z, Yaw;
    const char* Expected;
};

struct TReadCase {
    const char* Text;
    int32_t X, Y, Z, Yaw;
};

void CheckWrite(const TWriteCase& c) {
    EXPECT_EQ(PositionToText(c.X, c.Y, c.Z, c.Yaw), c.Expected)
        << "(X, Y, Z, Yaw) = (" << c.X << ", " << c.Y << ", " << c.Z << ", " << c.Yaw << ")";
}

void CheckRead(const TReadCase& c) {
    SCOPED_TRACE(std::string("reading '") + c.Text + "'");
    const TObjectPosition p = TextToPosition(c.Text);
    EXPECT_EQ(p.X, c.X);
    EXPECT_EQ(p.Y, c.Y);
    EXPECT_EQ(p.Z, c.Z);
    EXPECT_EQ(p.Yaw, c.Yaw);
}

void ExpectConvertError(const std::string& text, const std::string& message) {
    try {
        TextToPosition(text);
        ADD_FAILURE() << "'" << text << "' was accepted";
    } catch (const EConvertError& e) {
        EXPECT_EQ(std::string(e.what()), message);
    }
}

} // namespace

TEST(PositionText, WritesCompassPartsAltitudeAndFoldedYaw) {
    const TWriteCase cases[] = {
        {0, 0, 0, 0, "0N 0W"},
        {-6789, 0, 12345, 0, "12.345N 6.789E"},
        {-6789, 1500, 12345, 0, "12.345N 6.789E 1.50a"},
        {-6789, 0, 12345, 900, "12.345N 6.789E 0.00a 90.0"},
        {6789, -1235, -12345, 7200, "12.345S 6.789W -1.24a 720.0"},
        {12300, 0, 12000, 0, "12N 12.3W"},
        {5, 0, -5, 0, "0.005S 0.005W"},
        {0, 1234, 0, 0, "0N 0W 1.23a"},
        {0, 1235, 0, 0, "0N 0W 1.24a"},
        {0, 5, 0, 0, "0N 0W 0.01a"},
        {0, -4, 0, 0, "0N 0W -0.00a"},
        {0, 0, 0, -10, "0N 0W 0.00a 359.0"},
        {0, 0, 0, -3600, "0N 0W 0.00a 360.0"},
        {0, 0, 0, -3610, "0N 0W 0.00a 359.0"},
        {0, 0, 0, 1, "0N 0W 0.00a 0.1"},
        {INT_MIN, INT_MIN, INT_MIN, INT_MIN, "2147483.648S 2147483.648E -2147483.65a 275.2"},
        {INT_MAX, INT_MAX, INT_MAX, INT_MAX, "2147483.647N 2147483.647W 2147483.65a 214748364.7"},
    };
    for (const TWriteCase& c : cases)
        CheckWrite(c);
}

TEST(PositionText, ReadsTokensInEitherOrder) {
    const TReadCase cases[] = {
        {"12.345S 6.789E", -6789, 0, -12345, 0},
        {"6.789E 12.345S", -6789, 0, -12345, 0},
        {"6.789w 12.345n", 6789, 0, 12345, 0},
        {"12.345n 6.789w 1.5a 90", 6789, 1500, 12345, 900},
        {"  1N   2W  ", 2000, 0, 1000, 0},
        {"1 2", 2000, 0, 1000, 0},
        {"1e3N 6.789E", -6789, 0, 1000000, 0},
        {"12.345N 6.789W 1.5a 90 trailing text", 6789, 1500, 12345, 900},
    };
    for (const TReadCase& c : cases)
        CheckRead(c);
}

TEST(PositionText, ThirdTokenIsAltitudeOnlyWithLowercaseA) {
    const TReadCase cases[] = {
        {"12.345N 6.789W 90", 6789, 0, 12345, 900},
        {"12.345N 6.789W 1.5A", 6789, 0, 12345, 15},
        {"1N 1W -1.24a", 1000, -1240, 1000, 0},
        {"1N 1W -90", 1000, 0, 1000, 2700},
    };
    for (const TReadCase& c : cases)
        CheckRead(c);
}

TEST(PositionText, ScalesExactlyAndTruncatesTowardZero) {
    const TReadCase cases[] = {
        {"0.001N 0.002W", 2, 0, 1, 0},
        {"1.9999N 1.0009E", -1000, 0, 1999, 0},
        {"0.0009S 0.0009W -1.2345a 90.19", 0, -1234, 0, 901},
        {"4.35N 0.07W 2.01a 0.3", 70, 2010, 4350, 3},
        {"2147483.647N 2147483.648E", -2147483648, 0, 2147483647, 0},
        {"1e-10N 0W", 0, 0, 0, 0},
        {"0e999999999999N 0W", 0, 0, 0, 0},
    };
    for (const TReadCase& c : cases)
        CheckRead(c);
}

TEST(PositionText, UnreadableTextGivesZeroWithoutMessage) {
    for (const char* text : {"", "12.345N", "12.34.5N 6W", "xyz", "1N -2W", "1N 2W -a", "1N\t2W"})
        CheckRead({text, 0, 0, 0, 0});

    TPositionInfo info(1, 2, 3, 4);
    info.ParseText("12.345N");
    EXPECT_EQ(info.ToText(), "0.001N 0.002W 0.00a 0.4") << "a failed read must keep the fields";
    info.ParseText("");
    EXPECT_EQ(info.ToText(), "0N 0W");
}

TEST(PositionText, MalformedYawTokenIsAConversionError) {
    ExpectConvertError("1N 2W 3a 1.2.3", "'1.2.3' is not a valid floating point value");
    ExpectConvertError("1N 2W 3a .", "'.' is not a valid floating point value");
    ExpectConvertError("1N 2W 1-2", "'1-2' is not a valid floating point value");
}

TEST(PositionText, ValuesBeyondTheFieldsAreRefusedAndNothingIsStored) {
    const char* texts[] = {"3000000N 0W",      "0N 2147483.648W",      "2147483.649S 0W",
                           "0N 0W 2147483.7a", "0N 0W 0a 214748364.8", "1e10N 0W"};
    for (const char* text : texts)
        ExpectConvertError(text,
                           std::string("'") + text + "' is outside the world's coordinate range");

    TPositionInfo info(1, 2, 3, 4);
    EXPECT_THROW(info.ParseText("5N 5W 3000000a"), EConvertError);
    EXPECT_EQ(info.ToText(), "0.001N 0.002W 0.00a 0.4");
}

// The highest and lowest altitudes show rounded beyond the range ("2147483.65a"); what is beyond
// only by that rounding reads as the limit, anything further is still refused.
TEST(PositionText, AltitudeBeyondTheRangeOnlyByRoundingReadsAsTheLimit) {
    const TReadCase limits[] = {
        {"0N 0W 2147483.65a", 0, INT32_MAX, 0, 0},   {"0N 0W 2147483.652a 1", 0, INT32_MAX, 0, 10},
        {"0N 0W 2147483.6520a", 0, INT32_MAX, 0, 0}, {"0N 0W -2147483.65a", 0, INT32_MIN, 0, 0},
        {"0N 0W -2147483.653a", 0, INT32_MIN, 0, 0}, {"0N 0W 2147483.647a", 0, INT32_MAX, 0, 0},
    };
    for (const TReadCase& c : limits)
        CheckRead(c);
    for (const char* text : {"0N 0W 2147483.6520001a", "0N 0W 2147483.653a", "0N 0W -2147483.654a",
                             "0N 0W -2147483.6530001a", "2147483.65N 0W", "0N 2147483.649E"})
        ExpectConvertError(text,
                           std::string("'") + text + "' is outside the world's coordinate range");
    for (const int32_t y : {INT32_MAX, INT32_MAX - 2, INT32_MIN, INT32_MIN + 3})
        EXPECT_EQ(TextToPosition(PositionToText(0, y, 0, 900)).Y, y < 0 ? INT32_MIN : INT32_MAX)
            << y;
}

// Whatever the editor shows must read back as the same place; the altitude only keeps its two
// displayed decimals.
TEST(PositionText, WritingAndReadingBackKeepsThePosition) {
    std::mt19937 random(20240611);
    std::uniform_int_distribution<int32_t> anyValue(INT_MIN, INT_MAX);
    std::uniform_int_distribution<int32_t> yaw(0, INT_MAX);
    std::uniform_int_distribution<int32_t> small(-99999, 99999);
    for (int i = 0; i < 100000; ++i) {
        const bool nearZero = i % 2 == 0;
        const int32_t x = nearZero ? small(random) : anyValue(random);
        const int32_t z = nearZero ? small(random) : anyValue(random);
        const int32_t y = nearZero ? small(random) : anyValue(random);
        const int32_t w = nearZero ? small(random) & 0x7FFF : yaw(random);
        const std::string text = PositionToText(x, y, z, w);
        const TObjectPosition back = TextToPosition(text);
        const int64_t roundedY = std::clamp<int64_t>(
            (y < 0 ? -1 : 1) * ((std::llabs(y) + 5) / 10 * 10), INT32_MIN, INT32_MAX);
        ASSERT_TRUE(back.X == x && back.Z == z && back.Yaw == w && back.Y == roundedY)
            << "(" << x << ", " << y << ", " << z << ", " << w << ") -> '" << text << "' -> ("
            << back.X << ", " << back.Y << ", " << back.Z << ", " << back.Yaw << ")";
    }
}
