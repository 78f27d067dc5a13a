#pragma once

#include <cstdint>
#include <string>
#include <string_view>

// Days since 1899-12-30 00:00:00; the fraction is the time of day.
using TDateTimeValue = double;

TDateTimeValue SecondsToDateTime(int64_t Seconds);
int64_t DateTimeToSeconds(TDateTimeValue Value);

// "mm/dd/yyyy hh:nn:ss"
std::string FormatEditDateTime(TDateTimeValue Value);
// "dd mmm yyyy hh:nn:ss"
std::string FormatListDateTime(TDateTimeValue Value);
// "yyyy-mm-dd hh:nn:ss", which spreadsheets read as a date and time in any locale.
std::string FormatIsoDateTime(TDateTimeValue Value);

// Month, day, year, hour, minute, second with any single separator characters. Raises
// EConvertError "Invalid argument to date encode", "Invalid argument to time encode", or
// "'%s' is not a valid date and time" when six numbers cannot be read.
TDateTimeValue ParseDateTimeText(std::string_view Text);

// Seconds of Value as a Timestamp; raises EConvertError naming both ends of the range when Value
// lies outside 12/13/1901 20:45:52 .. 01/19/2038 03:14:07.
int32_t DateTimeToTimestamp(TDateTimeValue Value);
