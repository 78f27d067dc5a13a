#include "model/CFunctions.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace {

using TPieces = std::vector<std::string>;

struct TSplitCase {
    std::string Text;
    TPieces Delimiters;
    int MaxCount;
    TPieces Expected;
};

void CheckSplit(const TSplitCase& c) {
    EXPECT_EQ(SplitText(c.Text, c.Delimiters, c.MaxCount), c.Expected)
        << "text '" << c.Text << "', MaxCount " << c.MaxCount;
}

} // namespace

TEST(SplitText, PiecesBetweenDelimitersKeepEmptyOnes) {
    const TSplitCase cases[] = {
        {"", {","}, 0, {}},
        {"12", {}, 0, {}},
        {"12,13", {","}, 0, {"12", "13"}},
        {"12,", {","}, 0, {"12", ""}},
        {",", {","}, 0, {"", ""}},
        {"a,,b", {","}, 0, {"a", "", "b"}},
        {" a , b ", {","}, 0, {" a ", " b "}},
    };
    for (const TSplitCase& c : cases)
        CheckSplit(c);
}

TEST(SplitText, MaxCountLeavesTheRestInTheLastPiece) {
    const TSplitCase cases[] = {
        {"a|b|c", {"|"}, 2, {"a", "b|c"}}, {"a|b", {"|"}, 3, {"a", "b", ""}},
        {"a|b", {"|"}, 1, {"a|b"}},        {"a|b|c|d", {"|"}, 4, {"a", "b", "c", "d"}},
        {"a|b", {"|"}, -1, {"a", "b"}},
    };
    for (const TSplitCase& c : cases)
        CheckSplit(c);
}

TEST(SplitText, FirstDelimiterInArrayOrderWinsNotTheEarliest) {
    CheckSplit({"a;b,c", {",", ";"}, 0, {"a;b", "c"}});
    CheckSplit({"a,b", {"", ","}, 0, {"a", "b"}});
}

TEST(WildcardMatch, WholeTextCaseInsensitive) {
    struct TCase {
        const char* Pattern;
        const char* Text;
        bool Expected;
    };
    const TCase cases[] = {
        {"tree*", "TREE01.RWX", true},
        {"*.rwx", "box.RWX", true},
        {"*.rwx", ".rwx", true},
        {"*.rwx", "a.rwx.rwx", true},
        {"*.rwx", "box.rwx2", false},
        {"a*b", "ab", true},
        {"a*a", "aba", true},
        {"a*a", "ab", false},
        {"t*e", "tree", true},
        {"**x", "ax", true},
        {"*", "", true},
        {"", "", true},
        {"", "a", false},
        {"ab?", "ab", false},
        {"ab?", "abc", true},
        {"a?c", "a?c", true},
        {"*?", "", false},
        {"*?", "x", true},
        {"tree", "tree01", false},
        {"*sale*", "Houses FOR SALE here", true},
        {"*sale*", "sal", false},
        // Windows-1252 letters beyond ASCII: e acute, s caron, y diaeresis and their capitals.
        {"\xE9t\xE9", "\xC9T\xC9", true},
        {"\x9A*", "\x8A", true},
        {"\xFF", "\x9F", true},
        {"\xF7", "\xD7", false},
    };
    for (const TCase& c : cases)
        EXPECT_EQ(WildcardMatch(c.Pattern, c.Text), c.Expected)
            << "pattern '" << c.Pattern << "', text '" << c.Text << "'";
}

// Many stars against a long near-miss: exponential backtracking would never finish here.
TEST(WildcardMatch, ManyStarsStayPolynomial) {
    const std::string text(20000, 'a');
    std::string pattern;
    for (int i = 0; i < 30; ++i)
        pattern += "*a";
    EXPECT_FALSE(WildcardMatch(pattern + "b", text));
    EXPECT_TRUE(WildcardMatch(pattern + "*", text));
}

TEST(IndexOfMatchingPattern, FirstMatchingPatternInListOrder) {
    EXPECT_EQ(IndexOfMatchingPattern("sign2.rwx", {"sign*", "*.rwx"}), 0);
    EXPECT_EQ(IndexOfMatchingPattern("box.rwx", {"sign*", "*.RWX"}), 1);
    EXPECT_EQ(IndexOfMatchingPattern("box", {"sign*", "*.rwx"}), -1);
    EXPECT_EQ(IndexOfMatchingPattern("box", {}), -1);
}
