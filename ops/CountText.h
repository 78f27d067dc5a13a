#pragma once

#include <string>

// A count with ',' between groups of three digits: 58461 -> "58,461". The window uses it where
// the locale has no thousands separator of its own; the command-line tool always does, so that
// its reports read the same on every machine.
std::string GroupThousands(long long Count);
