#include "model/CFunctions.h"

#include "model/CodePage.h"

#include <array>

std::vector<std::string> SplitText(std::string_view Text,
                                   const std::vector<std::string>& Delimiters, int MaxCount) {
    std::vector<std::string> pieces;
    if (Text.empty() || Delimiters.empty())
        return pieces;

    // The last delimiter terminates the final piece, so "12," yields an empty last piece.
    std::string worked(Text);
    worked += Delimiters.back();
    const std::string_view rest(worked);

    std::size_t pos = 0;
    for (;;) {
        if (MaxCount > 0 && pieces.size() == static_cast<std::size_t>(MaxCount) - 1) {
            pieces.emplace_back(pos < Text.size() ? Text.substr(pos) : std::string_view());
            break;
        }
        // Delimiters are tried in array order and the first one present anywhere wins, even when a
        // later one occurs earlier; an empty delimiter never occurs.
        std::size_t cut = std::string_view::npos;
        for (const std::string& delimiter : Delimiters) {
            if (delimiter.empty())
                continue;
            cut = rest.find(delimiter, pos);
            if (cut != std::string_view::npos)
                break;
        }
        if (cut == std::string_view::npos)
            break;
        pieces.emplace_back(rest.substr(pos, cut - pos));
        pos = cut + 1;
    }
    return pieces;
}

namespace {

// Built once from the shared Windows-1252 upper-casing so that matching a million objects costs a
// table look-up per byte, not a call.
const std::array<uint8_t, 256>& UpperTable() {
    static const std::array<uint8_t, 256> table = [] {
        std::array<uint8_t, 256> t{};
        for (int c = 0; c < 256; ++c)
            t[c] = UpCase1252(static_cast<uint8_t>(c));
        return t;
    }();
    return table;
}

} // namespace

bool WildcardMatch(std::string_view Pattern, std::string_view Text) {
    const std::array<uint8_t, 256>& upper = UpperTable();
    const std::size_t m = Pattern.size();
    const std::size_t n = Text.size();
    auto same = [&](std::size_t p, std::size_t t) {
        return upper[static_cast<uint8_t>(Pattern[p])] == upper[static_cast<uint8_t>(Text[t])];
    };

    // Greedy matching that remembers only the latest '*': a later star can cover anything an
    // earlier one would have, so retrying from the latest star alone is enough, and the work stays
    // bounded by pattern length times text length.
    std::size_t p = 0;
    std::size_t t = 0;
    std::size_t starP = std::string_view::npos;
    std::size_t starT = 0;
    while (t < n) {
        if (p < m && Pattern[p] == '*') {
            starP = p++;
            starT = t;
        } else if (p < m && (Pattern[p] == '?' || same(p, t))) {
            ++p;
            ++t;
        } else if (starP != std::string_view::npos) {
            p = starP + 1;
            t = ++starT;
        } else {
            return false;
        }
    }
    while (p < m && Pattern[p] == '*')
        ++p;
    return p == m;
}

int IndexOfMatchingPattern(std::string_view Text, const std::vector<std::string>& Patterns) {
    for (std::size_t i = 0; i < Patterns.size(); ++i)
        if (WildcardMatch(Patterns[i], Text))
            return static_cast<int>(i);
    return -1;
}
