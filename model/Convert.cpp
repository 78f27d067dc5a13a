#include "model/Convert.h"

// Only an optional sign and decimal digits are a number: blanks, hexadecimal markers and trailing
// characters make the text invalid, so what the user typed is never read as something else.
int32_t StrToInt(std::string_view Text) {
    auto invalid = [Text] {
        std::string message;
        message.reserve(Text.size() + 32);
        message += '\'';
        message.append(Text);
        message += "' is not a valid integer value";
        return EConvertError(message);
    };
    std::size_t i = 0;
    const bool negative = !Text.empty() && Text[0] == '-';
    if (!Text.empty() && (Text[0] == '-' || Text[0] == '+'))
        ++i;
    if (i == Text.size())
        throw invalid();
    const int64_t limit = negative ? int64_t{INT32_MAX} + 1 : int64_t{INT32_MAX};
    int64_t value = 0;
    for (; i < Text.size(); ++i) {
        if (Text[i] < '0' || Text[i] > '9')
            throw invalid();
        value = value * 10 + (Text[i] - '0');
        if (value > limit)
            throw invalid();
    }
    return static_cast<int32_t>(negative ? -value : value);
}
