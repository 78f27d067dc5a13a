#pragma once

#include <QString>

// A count as the user reads it: a whole number with the locale's thousands separator and no
// decimals (12345 -> "12,345" where the separator is a comma). Locales without a separator of
// their own (the C locale) get ','.
QString FormatCount(long long Count);
