#include "text/DateTimeText.h"

#include "model/Convert.h"

#include <gtest/gtest.h>

#include <climits>
#include <random>
#include <string>

namespace {

void ExpectConvertError(const std::string& text, const std::string& message) {
    try {
        ParseDateTimeText(text);
        ADD_FAILURE() << "'" << text << "' was accepted";
    } catch (const EConvertError& e) {
        EXPECT_EQ(std::string(e.what()), message) << "reading '" << text << "'";
    }
}

} // namespace

TEST(TimestampText, ShowsTheCalendarSecondOfEveryTimestamp) {
    struct TCase {
        int32_t Timestamp;
        const char* Edit;
        const char* List;
    };
    const TCase cases[] = {
        {0, "01/01/1970 00:00:00", "01 Jan 1970 00:00:00"},
        {-1, "12/31/1969 23:59:59", "31 Dec 1969 23:59:59"},
        {INT_MAX, "01/19/2038 03:14:07", "19 Jan 2038 03:14:07"},
        {INT_MIN, "12/13/1901 20:45:52", "13 Dec 1901 20:45:52"},
        {1000000000, "09/09/2001 01:46:40", "09 Sep 2001 01:46:40"},
        {951782400, "02/29/2000 00:00:00", "29 Feb 2000 00:00:00"},
        {1577955900, "01/02/2020 09:05:00", "02 Jan 2020 09:05:00"},
    };
    for (const TCase& c : cases) {
        const TDateTimeValue value = SecondsToDateTime(c.Timestamp);
        EXPECT_EQ(FormatEditDateTime(value), c.Edit) << "Timestamp " << c.Timestamp;
        EXPECT_EQ(FormatListDateTime(value), c.List) << "Timestamp " << c.Timestamp;
    }
    const char* months[] = {"Jan", "Feb", "Mar", "Apr", "May", "Jun",
                            "Jul", "Aug", "Sep", "Oct", "Nov", "Dec"};
    for (int m = 1; m <= 12; ++m) {
        const std::string edit = (m < 10 ? "0" : "") + std::to_string(m) + "/15/2021 12:00:00";
        EXPECT_EQ(FormatListDateTime(ParseDateTimeText(edit)),
                  std::string("15 ") + months[m - 1] + " 2021 12:00:00");
    }
}

TEST(TimestampText, ValuesBeforeDayZeroSplitByFloor) {
    EXPECT_EQ(FormatEditDateTime(0.0), "12/30/1899 00:00:00");
    EXPECT_EQ(FormatEditDateTime(-0.25), "12/29/1899 18:00:00");
    EXPECT_EQ(FormatEditDateTime(-1.0), "12/29/1899 00:00:00");
    EXPECT_EQ(FormatEditDateTime(-1.5), "12/28/1899 12:00:00");
    EXPECT_EQ(FormatListDateTime(-693593.0), "01 Jan 0001 00:00:00");
    EXPECT_EQ(ParseDateTimeText("12/29/1899 18:00:00"), -0.25);
    EXPECT_EQ(ParseDateTimeText("01/01/0001 00:00:00"), -693593.0);
    EXPECT_EQ(ParseDateTimeText("12/31/9999 00:00:00"), 2958465.0);
}

TEST(TimestampText, SecondsConversionRoundsHalfToEven) {
    EXPECT_EQ(SecondsToDateTime(0), 25569.0);
    EXPECT_EQ(SecondsToDateTime(-86400), 25568.0);
    // 1/256 and 3/256 of a day are exactly 337.5 and 1012.5 seconds.
    EXPECT_EQ(DateTimeToSeconds(25569.0 + 1.0 / 256), 338);
    EXPECT_EQ(DateTimeToSeconds(25569.0 + 3.0 / 256), 1012);
    EXPECT_EQ(DateTimeToSeconds(25569.0 - 3.0 / 256), -1012);
    EXPECT_EQ(DateTimeToSeconds(0.0), -2209161600LL);
}

TEST(TimestampText, ReadsSixNumbersWithAnySeparators) {
    struct TCase {
        const char* Text;
        int64_t Seconds;
    };
    const TCase cases[] = {
        {"12/31/2020 23:59:59", 1609459199}, {"12.31.2020 23.59.59", 1609459199},
        {" 1/ 2/2020  9:05:00", 1577955900}, {"01/02/2020\r9:05:00", 1577955900},
        {"02/29/2020 00:00:00", 1582934400}, {"1/2/2020 9:5:0", 1577955900},
    };
    for (const TCase& c : cases)
        EXPECT_EQ(DateTimeToSeconds(ParseDateTimeText(c.Text)), c.Seconds)
            << "reading '" << c.Text << "'";
}

TEST(TimestampText, RefusesImpossibleDatesBeforeImpossibleTimes) {
    for (const char* text : {"02/29/2021 00:00:00", "00/10/2020 10:00:00", "01/01/0000 10:00:00",
                             "13/01/2020 24:00:00", "04/31/2020 00:00:00", "02/29/1900 00:00:00",
                             "01/01/10000 00:00:00", "-1/01/2020 00:00:00"})
        ExpectConvertError(text, "Invalid argument to date encode");
    for (const char* text : {"12/31/2020 24:00:00", "12/31/2020 10:60:00", "12/31/2020 10:00:60",
                             "12/31/2020 -1:00:00"})
        ExpectConvertError(text, "Invalid argument to time encode");
}

TEST(TimestampText, FewerThanSixNumbersAreRefused) {
    for (const char* text : {"", "  /  /       :  :  ", "12/31/2020", "1 /02/2020 10:00:00",
                             "12/31/2020 23:59", "99999999999/01/2020 00:00:00"})
        ExpectConvertError(text, std::string("'") + text + "' is not a valid date and time");
}

TEST(TimestampText, OnlyTimestampRangeBecomesATimestamp) {
    EXPECT_EQ(DateTimeToTimestamp(ParseDateTimeText("12/13/1901 20:45:52")), INT_MIN);
    EXPECT_EQ(DateTimeToTimestamp(ParseDateTimeText("01/19/2038 03:14:07")), INT_MAX);
    const std::string range =
        " is outside the range of object timestamps (12/13/1901 20:45:52 to 01/19/2038 03:14:07)";
    for (const char* text : {"01/19/2038 03:14:08", "12/13/1901 20:45:51", "01/01/9999 00:00:00"}) {
        try {
            DateTimeToTimestamp(ParseDateTimeText(text));
            ADD_FAILURE() << "'" << text << "' became a Timestamp";
        } catch (const EConvertError& e) {
            EXPECT_EQ(std::string(e.what()), std::string("'") + text + "'" + range);
        }
    }
}

// What the editor shows for a Timestamp must read back as that same Timestamp.
TEST(TimestampText, EditTextReadsBackAsTheSameTimestamp) {
    std::mt19937 random(19011213);
    std::uniform_int_distribution<int32_t> anyTimestamp(INT_MIN, INT_MAX);
    for (int i = 0; i < 200000; ++i) {
        const int32_t t = i < 2 ? (i == 0 ? INT_MIN : INT_MAX) : anyTimestamp(random);
        const std::string text = FormatEditDateTime(SecondsToDateTime(t));
        const TDateTimeValue back = ParseDateTimeText(text);
        ASSERT_EQ(DateTimeToSeconds(back), t) << "'" << text << "'";
        ASSERT_EQ(DateTimeToTimestamp(back), t) << "'" << text << "'";
    }
}
