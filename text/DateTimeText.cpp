#include "text/DateTimeText.h"

#include "model/CFunctions.h"
#include "model/Convert.h"

#include <cmath>
#include <limits>

namespace {

// Day numbers count from 1899-12-30; the calendar arithmetic below counts from 1970-01-01.
constexpr int64_t UnixEpochDay = 25569;
constexpr int64_t SecondsPerDay = 86400;
constexpr int64_t MillisecondsPerDay = 86400000;
constexpr const char* MonthNames[12] = {"Jan", "Feb", "Mar", "Apr", "May", "Jun",
                                        "Jul", "Aug", "Sep", "Oct", "Nov", "Dec"};

struct TCivilDate {
    int64_t Year;
    unsigned Month;
    unsigned Day;
};

// Proleptic Gregorian calendar by era arithmetic: constant time, no tables, no std::tm, valid for
// any day count.
int64_t DaysFromCivil(int64_t year, unsigned month, unsigned day) {
    year -= month <= 2;
    const int64_t era = (year >= 0 ? year : year - 399) / 400;
    const unsigned yearOfEra = static_cast<unsigned>(year - era * 400);
    const unsigned dayOfYear = (153 * (month > 2 ? month - 3 : month + 9) + 2) / 5 + day - 1;
    const unsigned dayOfEra = yearOfEra * 365 + yearOfEra / 4 - yearOfEra / 100 + dayOfYear;
    return era * 146097 + static_cast<int64_t>(dayOfEra) - 719468;
}

TCivilDate CivilFromDays(int64_t days) {
    days += 719468;
    const int64_t era = (days >= 0 ? days : days - 146096) / 146097;
    const unsigned dayOfEra = static_cast<unsigned>(days - era * 146097);
    const unsigned yearOfEra =
        (dayOfEra - dayOfEra / 1460 + dayOfEra / 36524 - dayOfEra / 146096) / 365;
    const unsigned dayOfYear = dayOfEra - (365 * yearOfEra + yearOfEra / 4 - yearOfEra / 100);
    const unsigned shiftedMonth = (5 * dayOfYear + 2) / 153;
    const unsigned day = dayOfYear - (153 * shiftedMonth + 2) / 5 + 1;
    const unsigned month = shiftedMonth < 10 ? shiftedMonth + 3 : shiftedMonth - 9;
    return {static_cast<int64_t>(yearOfEra) + era * 400 + (month <= 2), month, day};
}

bool IsLeapYear(int year) {
    return (year % 4 == 0 && year % 100 != 0) || year % 400 == 0;
}

int DaysInMonth(int year, int month) {
    static constexpr int Lengths[12] = {31, 28, 31, 30, 31, 30, 31, 31, 30, 31, 30, 31};
    return month == 2 && IsLeapYear(year) ? 29 : Lengths[month - 1];
}

struct TDateTimeFields {
    TCivilDate Date;
    unsigned Hour;
    unsigned Minute;
    unsigned Second;
};

// Rounds to whole milliseconds first and then drops them, so that the text of every Timestamp is
// exactly its calendar second although the floating-point value only approximates it. Values
// before day 0 split by floor: the day below the value and a non-negative time of day.
TDateTimeFields SplitDateTime(TDateTimeValue Value) {
    // Values no caller can produce (beyond a hundred billion days, or not a number) are held at a
    // bound so that the millisecond count cannot overflow.
    constexpr double Bound = 1e11;
    double days = std::isnan(Value) ? 0.0 : Value;
    if (days > Bound)
        days = Bound;
    if (days < -Bound)
        days = -Bound;

    // Double precision keeps every Timestamp and every typed second well within half a
    // millisecond; rounding by hand (half to even) avoids a library call on the painting path.
    const double scaled = days * static_cast<double>(MillisecondsPerDay);
    int64_t milliseconds = static_cast<int64_t>(scaled);
    const double rest = scaled - static_cast<double>(milliseconds);
    if (rest > 0.5 || (rest == 0.5 && (milliseconds & 1) != 0))
        ++milliseconds;
    else if (rest < -0.5 || (rest == -0.5 && (milliseconds & 1) != 0))
        --milliseconds;
    int64_t day = milliseconds / MillisecondsPerDay;
    int64_t msOfDay = milliseconds % MillisecondsPerDay;
    if (msOfDay < 0) {
        msOfDay += MillisecondsPerDay;
        --day;
    }
    const unsigned secondOfDay = static_cast<unsigned>(msOfDay / 1000);
    return {CivilFromDays(day - UnixEpochDay), secondOfDay / 3600, secondOfDay / 60 % 60,
            secondOfDay % 60};
}

char* PutTwo(char* out, unsigned value) {
    *out++ = static_cast<char>('0' + value / 10 % 10);
    *out++ = static_cast<char>('0' + value % 10);
    return out;
}

// Four digits in the calendar's range; the rare far-off year keeps all its digits.
char* PutYear(char* out, int64_t year) {
    uint64_t magnitude = static_cast<uint64_t>(year < 0 ? -year : year);
    if (year < 0)
        *out++ = '-';
    char digits[20];
    int count = 0;
    do {
        digits[count++] = static_cast<char>('0' + magnitude % 10);
        magnitude /= 10;
    } while (magnitude != 0);
    while (count < 4)
        digits[count++] = '0';
    while (count > 0)
        *out++ = digits[--count];
    return out;
}

char* PutTime(char* out, const TDateTimeFields& fields) {
    out = PutTwo(out, fields.Hour);
    *out++ = ':';
    out = PutTwo(out, fields.Minute);
    *out++ = ':';
    return PutTwo(out, fields.Second);
}

} // namespace

TDateTimeValue SecondsToDateTime(int64_t Seconds) {
    return static_cast<double>(static_cast<long double>(Seconds) / SecondsPerDay + UnixEpochDay);
}

int64_t DateTimeToSeconds(TDateTimeValue Value) {
    // The default rounding mode sends an exact half to the even neighbour.
    const long double seconds =
        std::nearbyint((static_cast<long double>(Value) - UnixEpochDay) * SecondsPerDay);
    if (std::isnan(seconds))
        return 0;
    // The cast is defined only inside the range, so saturate at its ends.
    if (seconds >= 0x1p63L)
        return std::numeric_limits<int64_t>::max();
    if (seconds < -0x1p63L)
        return std::numeric_limits<int64_t>::min();
    return static_cast<int64_t>(seconds);
}

std::string FormatEditDateTime(TDateTimeValue Value) {
    const TDateTimeFields fields = SplitDateTime(Value);
    char buffer[40];
    char* out = PutTwo(buffer, fields.Date.Month);
    *out++ = '/';
    out = PutTwo(out, fields.Date.Day);
    *out++ = '/';
    out = PutYear(out, fields.Date.Year);
    *out++ = ' ';
    out = PutTime(out, fields);
    return std::string(buffer, static_cast<std::size_t>(out - buffer));
}

std::string FormatListDateTime(TDateTimeValue Value) {
    const TDateTimeFields fields = SplitDateTime(Value);
    char buffer[40];
    char* out = PutTwo(buffer, fields.Date.Day);
    *out++ = ' ';
    const char* month = MonthNames[fields.Date.Month - 1];
    *out++ = month[0];
    *out++ = month[1];
    *out++ = month[2];
    *out++ = ' ';
    out = PutYear(out, fields.Date.Year);
    *out++ = ' ';
    out = PutTime(out, fields);
    return std::string(buffer, static_cast<std::size_t>(out - buffer));
}

std::string FormatIsoDateTime(TDateTimeValue Value) {
    const TDateTimeFields fields = SplitDateTime(Value);
    char buffer[40];
    char* out = PutYear(buffer, fields.Date.Year);
    *out++ = '-';
    out = PutTwo(out, fields.Date.Month);
    *out++ = '-';
    out = PutTwo(out, fields.Date.Day);
    *out++ = ' ';
    out = PutTime(out, fields);
    return std::string(buffer, static_cast<std::size_t>(out - buffer));
}

TDateTimeValue ParseDateTimeText(std::string_view Text) {
    int32_t month = 0, day = 0, year = 0, hour = 0, minute = 0, second = 0;
    const int count =
        Sscanf(Text, "%d%*c%d%*c%d %d%*c%d%*c%d", {&month, &day, &year, &hour, &minute, &second});
    // Fewer than six numbers would leave the rest of the date unset; refuse rather than guess.
    if (count < 6)
        throw EConvertError("'" + std::string(Text) + "' is not a valid date and time");

    if (year < 1 || year > 9999 || month < 1 || month > 12 || day < 1 ||
        day > DaysInMonth(year, month))
        throw EConvertError("Invalid argument to date encode");
    if (hour < 0 || hour > 23 || minute < 0 || minute > 59 || second < 0 || second > 59)
        throw EConvertError("Invalid argument to time encode");

    const int64_t dayNumber =
        DaysFromCivil(year, static_cast<unsigned>(month), static_cast<unsigned>(day)) +
        UnixEpochDay;
    const double timeOfDay =
        static_cast<double>(hour * 3600 + minute * 60 + second) / SecondsPerDay;
    return static_cast<double>(dayNumber) + timeOfDay;
}

int32_t DateTimeToTimestamp(TDateTimeValue Value) {
    const int64_t seconds = DateTimeToSeconds(Value);
    if (seconds < std::numeric_limits<int32_t>::min() ||
        seconds > std::numeric_limits<int32_t>::max())
        throw EConvertError("'" + FormatEditDateTime(Value) +
                            "' is outside the range of object timestamps (12/13/1901 20:45:52 to "
                            "01/19/2038 03:14:07)");
    return static_cast<int32_t>(seconds);
}
