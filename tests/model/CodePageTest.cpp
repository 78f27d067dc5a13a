#include "model/CodePage.h"

#include <gtest/gtest.h>

#include <string>
#include <unordered_set>

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
        std::string A, B;
        int Sign;
    };
    const Case cases[] = {
        {"Tree01.rwx", "TREE01.RWX", 0}, {"caf\xE9", "CAF\xC9", 0}, {"\xFF\x9C", "\x9F\x8C", 0},
        {"abc", "abd", -1},              {"abc", "ab", 1},          {"", "", 0},
        {"a", "\xE0", -1}, // upper-cased bytes compare unsigned: 'A' < 0xC0
        {"\xF7", "\xD7", 1}, // the division sign is not the small multiplication sign
    };
    for (const Case& c : cases) {
        const int ab = CompareText1252(c.A, c.B), ba = CompareText1252(c.B, c.A);
        EXPECT_EQ((ab > 0) - (ab < 0), c.Sign) << c.A << " vs " << c.B;
        EXPECT_EQ((ba > 0) - (ba < 0), -c.Sign) << c.B << " vs " << c.A;
        EXPECT_EQ(SameText1252(c.A, c.B), c.Sign == 0) << c.A << " vs " << c.B;
        EXPECT_TRUE(c.Sign != 0 || HashText1252(c.A) == HashText1252(c.B)) << c.A;
    }
    // Length, every byte position and the tail past whole words must all reach the hash.
    std::unordered_set<std::size_t> seen;
    std::size_t names = 0;
    for (std::size_t len = 1; len <= 20; ++len)
        for (std::size_t pos = 0; pos < len; ++pos)
            for (char letter = 'a'; letter <= 'z'; ++letter, ++names)
                seen.insert(HashText1252(std::string(pos, 'm') + letter + std::string(len - pos - 1, '_')));
    EXPECT_EQ(seen.size(), names);
}

TEST(CodePage, DecodesEveryByteAndEncodesTheExactInverse) {
    std::string all(256, '\0');
    for (int i = 0; i < 256; ++i)
        all[i] = static_cast<char>(i);
    const std::u16string decoded = Decode1252(all);
    ASSERT_EQ(decoded.size(), 256u);
    const std::pair<int, char16_t> spots[] = {{0x41, u'A'},      {0x80, u'\u20AC'}, {0x8A, u'\u0160'},
                                              {0x9F, u'\u0178'}, {0xAB, u'\u00AB'}, {0x81, 0x81},
                                              {0x8D, 0x8D},      {0x8F, 0x8F},      {0x90, 0x90},
                                              {0x9D, 0x9D}};
    for (const auto& [byte, ch] : spots)
        EXPECT_EQ(decoded[byte], ch) << "byte 0x" << std::hex << byte;
    EXPECT_EQ(Encode1252(decoded), std::optional<std::string>(all));

    const std::u16string refused[] = {u"\u4E2D", u"ok\u0080", u"\u009F", u"\u0100", u"x\xD83D\xDE00"};
    for (const std::u16string& text : refused)
        EXPECT_FALSE(Encode1252(text).has_value()) << "code unit 0x" << std::hex << int(text.back());
}
