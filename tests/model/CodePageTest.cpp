#include "model/CodePage.h"

#include <gtest/gtest.h>

#include <string>
#include <unordered_set>

namespace {

std::string AllBytes() {
    std::string all(256, '\0');
    for (int i = 0; i < 256; ++i)
        all[i] = static_cast<char>(i);
    return all;
}

} // namespace

TEST(CodePage, UpperCasesOnlyTheLettersOfTheTable) {
    for (int c = 0; c < 256; ++c) {
        int expected = c;
        if ((c >= 'a' && c <= 'z') || (c >= 0xE0 && c <= 0xFE && c != 0xF7))
            expected = c - 0x20;
        else if (c == 0x9A || c == 0x9C || c == 0x9E)
            expected = c - 0x10;
        else if (c == 0xFF)
            expected = 0x9F;
        EXPECT_EQ(UpCase1252(static_cast<uint8_t>(c)), expected) << "byte 0x" << std::hex << c;
    }
    EXPECT_EQ(UpperCase1252("ab\xE9\xF7\xFF" "1\x9A"), "AB\xC9\xF7\x9F" "1\x8A");
}

TEST(CodePage, ComparesAndHashesCaseInsensitively) {
    struct Case {
        std::string A;
        std::string B;
        int Sign;
    };
    const Case cases[] = {
        {"Tree01.rwx", "TREE01.RWX", 0},
        {"caf\xE9", "CAF\xC9", 0},
        {"\xFF\x9C", "\x9F\x8C", 0},
        {"abc", "abd", -1},
        {"abc", "ab", 1},
        {"", "", 0},
        {"a", "\xE0", -1},  // upper-cased bytes compare unsigned: 'A' < 0xC0
        {"\xF7", "\xD7", 1}, // the division sign is not the small form of the multiplication sign
    };
    for (const Case& c : cases) {
        const int got = CompareText1252(c.A, c.B);
        EXPECT_EQ((got > 0) - (got < 0), c.Sign) << c.A << " vs " << c.B;
        EXPECT_EQ(SameText1252(c.A, c.B), c.Sign == 0) << c.A << " vs " << c.B;
        EXPECT_EQ(-CompareText1252(c.B, c.A) > 0, c.Sign > 0) << c.B << " vs " << c.A;
        if (c.Sign == 0) {
            EXPECT_EQ(HashText1252(c.A), HashText1252(c.B)) << c.A;
        }
    }
}

TEST(CodePage, HashSpreadsDistinctNames) {
    // Length, every byte position and the tail past whole words all have to reach the hash.
    std::unordered_set<std::size_t> seen;
    int names = 0;
    for (int len = 0; len <= 20; ++len)
        for (int pos = 0; pos < len; ++pos)
            for (int letter = 0; letter < 26; ++letter) {
                std::string name(static_cast<std::size_t>(len), 'm');
                name[pos] = static_cast<char>('a' + letter);
                if (letter == 'm' - 'a' && pos > 0)
                    continue;
                seen.insert(HashText1252(name));
                ++names;
            }
    EXPECT_EQ(static_cast<int>(seen.size()), names);
}

TEST(CodePage, DecodesTheFullTableAndEncodesItsExactInverse) {
    const std::u16string decoded = Decode1252(AllBytes());
    ASSERT_EQ(decoded.size(), 256u);
    EXPECT_EQ(decoded[0x41], u'A');
    EXPECT_EQ(decoded[0x80], u'\u20AC');
    EXPECT_EQ(decoded[0x8A], u'\u0160');
    EXPECT_EQ(decoded[0x9F], u'\u0178');
    EXPECT_EQ(decoded[0xAB], u'\u00AB');
    EXPECT_EQ(decoded[0xFF], u'\u00FF');
    for (int unassigned : {0x81, 0x8D, 0x8F, 0x90, 0x9D})
        EXPECT_EQ(decoded[unassigned], static_cast<char16_t>(unassigned));

    const std::optional<std::string> back = Encode1252(decoded);
    ASSERT_TRUE(back.has_value());
    EXPECT_EQ(*back, AllBytes());
}

TEST(CodePage, RefusesCharactersWithoutAByte) {
    const std::u16string refused[] = {u"\u4E2D", u"ok\u0080", u"\u009F", u"\u0100", u"x\xD83D\xDE00"};
    for (const std::u16string& text : refused)
        EXPECT_FALSE(Encode1252(text).has_value()) << "code unit 0x" << std::hex << int(text.back());
    EXPECT_EQ(Encode1252(u"\u00AB Zone \u00BB"), std::optional<std::string>("\xAB Zone \xBB"));
    EXPECT_EQ(Encode1252(u""), std::optional<std::string>(""));
}
