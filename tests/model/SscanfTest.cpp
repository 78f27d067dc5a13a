#include "model/CFunctions.h"
#include "text/PositionInfo.h"

#include <gtest/gtest.h>

#include <clocale>
#include <cstdlib>
#include <cstdio>
#include <cstring>
#include <deque>
#include <functional>
#include <memory>
#include <random>
#include <string>
#include <vector>

namespace {

// Scans into fresh destinations described by Slots (d int32, i int64, g long double,
// s std::string, S TShortString) and renders "count: v1 v2 ..." with every slot, so a value
// written where none was due shows up as well as a missing one. Untouched numbers read -9 and
// untouched strings "~".
std::string Scan(std::string_view Format, std::string_view Input, std::string_view Slots) {
    std::deque<int32_t> d;
    std::deque<int64_t> i;
    std::deque<long double> g;
    std::deque<std::string> s;
    std::deque<TShortString> S;
    std::vector<TScanDest> dests;
    std::vector<std::function<std::string()>> show;
    for (char slot : Slots) {
        if (slot == 'd') {
            dests.emplace_back(&d.emplace_back(-9));
            show.push_back([p = &d.back()] { return std::to_string(*p); });
        } else if (slot == 'i') {
            dests.emplace_back(&i.emplace_back(-9));
            show.push_back([p = &i.back()] { return std::to_string(*p); });
        } else if (slot == 'g') {
            dests.emplace_back(&g.emplace_back(-9));
            show.push_back([p = &g.back()] {
                char buf[64];
                std::snprintf(buf, sizeof buf, "%.18Lg", *p);
                return std::string(buf);
            });
        } else if (slot == 's') {
            dests.emplace_back(&s.emplace_back("~"));
            show.push_back([p = &s.back()] { return "[" + *p + "]"; });
        } else {
            dests.emplace_back(&S.emplace_back(TShortString{"~"}));
            show.push_back([p = &S.back()] { return "[" + p->Value + "]"; });
        }
    }
    std::string out;
    try {
        out = std::to_string(Sscanf(Input, Format, dests)) + ":";
    } catch (const ESscanfError& e) {
        out = std::string("raised ") + e.what() + ":";
    }
    for (const auto& value : show)
        out += " " + value();
    return out;
}

struct TCase {
    std::string_view Format;
    std::string_view Input;
    std::string_view Slots;
    std::string Expected;
};

void CheckTable(const std::vector<TCase>& Cases) {
    for (const TCase& c : Cases)
        EXPECT_EQ(Scan(c.Format, c.Input, c.Slots), c.Expected)
            << "format \"" << c.Format << "\" on \"" << c.Input << "\"";
}

} // namespace

TEST(Sscanf, ConvertsEachDirectiveOfTheTable) {
    CheckTable({
        {"%c%c", " ab", "ss", "2: [ ] [a]"},
        {"%d", " -2147483648", "d", "1: -2147483648"},
        {"%d", "2147483648", "d", "0: -9"},
        {"%d", "1-2", "d", "0: -9"},
        {"%d", "-", "d", "0: -9"},
        {"%d", "4294967296", "d", "0: -9"},
        {"%h", "70000", "d", "1: 4464"},
        {"%h", "-1", "d", "1: -1"},
        {"%i %i", "-9223372036854775808 9223372036854775808", "ii", "1: -9223372036854775808 -9"},
        {"%u", "4294967297", "i", "1: 1"},
        {"%u", "-1", "i", "0: -9"},
        {"%g %e %f", "12.5 -.5e+2 +3.", "ggg", "3: 12.5 -50 3"},
        {"%g", "12.5E", "g", "1: 12.5"},
        {"%g", "1e-", "g", "1: 1"},
        {"%g", "1e-99999", "g", "1: 0"},
        {"%g", "1e99999", "g", "0: -9"},
        {"%g", "1.2.3", "g", "0: -9"},
        {"%g", "1+2", "g", "0: -9"},
        {"%g", ".e5", "g", "0: -9"},
        {"%m", "-12.5", "i", "1: -120000"},
        {"%m", "922337203685478", "i", "0: -9"},
        {"%x %x %x", "1F 0x1f $ff", "ddd", "3: 31 31 255"},
        {"%x", "FFFFFFFF", "d", "1: -1"},
        {"%x", "FFFFFFFF", "i", "1: 4294967295"},
        {"%x", "100000000", "d", "0: -9"},
        {"%x", "0x", "d", "0: -9"},
        {"%x", "-1", "d", "0: -9"},
        {"%p %p %p %p", "-12 $10 0x10 x10", "dddd", "4: -12 16 16 16"},
        {"%s", "  abc def", "s", "1: [abc]"},
        {"%s", "a\tb c", "s", "1: [a\tb]"},
        {"%[a-c]", "xyz", "s", "1: []"},
        {"%[a-z]c", "hello", "s", "1: [h]"},
        {"%3[a-z]c|", "ab|", "s", "1: [ab]"},
        {"%d%%%d", "5 % 6", "dd", "2: 5 6"},
        {"%d%%%d", "5%%6", "dd", "1: 5 -9"},
    });
}

TEST(Sscanf, FollowsTheTokenAndWidthRules) {
    CheckTable({
        {"%5s", "abcdefgh", "s", "1: [abcde]"},
        {"%2d%d", "12345", "dd", "2: 12 345"},
        {"%*d %d", "1 2", "d", "1: 2"},
        {"%3*d%d", "12345", "d", "1: 45"},
        {"%1*2d%d", "000000000012345", "d", "1: 345"},
        {"%1*2d%d", "123456789012345", "d", "0: -9"},
        {"%**d", "1", "d", "0: -9"},
        {"%0s", "abc", "s", "1: []"},
        {"%99999999999999999999999s", "abc", "s", "1: [abc]"},
        {"%d %d", "1\t2", "dd", "1: 1 -9"},
        {"%d\t%d", "1 \t2", "dd", "2: 1 2"},
        {"a%d", "\r\n\b a7", "d", "1: 7"},
        {"%d  \n %d", "1\n\n2", "dd", "2: 1 2"},
        {"%d %d", "1 \b\r\n", "dd", "1: 1 -9"},
        {"%c", "\b", "s", "1: [\b]"},
    });
}

TEST(Sscanf, BuildsSets) {
    CheckTable({
        {"%[0-9.NnSsWwEe] %[0-9.WwEeNnSs]", "12.345N 6.789E 1.50a", "ss", "2: [12.345N] [6.789E]"},
        {"%[0-9.]", "1.50a", "s", "1: [1.50]"},
        {"%[^]", "  a b\tc ", "s", "1: [a b\tc ]"},
        {"%[^ ]", "ab cd", "s", "1: [ab]"},
        {"%3[^]c%s", " abcd", "ss", "2: [ ab] [cd]"},
        {"%[\\]a]", "a]b", "s", "1: [a]]"},
        {"%[a-]", "-a-b", "s", "1: [-a-]"},
        {"%[\\^a]", "^a^", "s", "1: [^a^]"},
        {"%[a\\-c]", "a-cb", "s", "1: [a-c]"},
        {"%[]", "ab c", "s", "1: [ab]"},
        {"%[\x80-\xff]", "\xe9\x80x", "s", "1: [\xe9\x80]"},
        {"%d%[z-a]%d", "1z2", "dsd", "1: 1 [~] -9"},
        {"%d%[a-\\]]", "1a", "ds", "1: 1 [~]"},
        {"%[a]C", "a", "s", "0: [~]"},
    });
}

TEST(Sscanf, EndsQuietlyOnEveryOtherProblem) {
    CheckTable({
        {"%d%*c%d%*c%d %d%*c%d%*c%d", "12/31/2005 23:59:58", "dddddd", "6: 12 31 2005 23 59 58"},
        {"%d%*c%d%*c%d %d%*c%d%*c%d", "12/31/2005", "dddddd", "3: 12 31 2005 -9 -9 -9"},
        {"%d%*c%d%*c%d %d%*c%d%*c%d", " / : /", "dddddd", "0: -9 -9 -9 -9 -9 -9"},
        {"propdump version %d", "propdump version 4", "d", "1: 4"},
        {"propdump version %d", "propdumpversion 4 trailing", "d", "1: 4"},
        {"propdump version %d", "Propdump version 4", "d", "0: -9"},
        {"%d", "xyz", "d", "0: -9"},
        {"%*d %d", "x 5", "d", "0: -9"},
        {"%ld", "5", "d", "0: -9"},
        {"%d %D", "5 6", "dd", "1: 5 -9"},
        {"%d %5%", "5 %", "dd", "1: 5 -9"},
        {"%d %*%", "5 %", "dd", "1: 5 -9"},
        {"%d %5", "5 6", "dd", "1: 5 -9"},
        {"%d %[ab", "5 a", "ds", "1: 5 [~]"},
        {"%d %", "5 6", "dd", "1: 5 -9"},
        {"%d", "", "d", "0: -9"},
        {"%c", "", "s", "0: [~]"},
        {"", "12", "d", "0: -9"},
        {"%s %d", "ab", "sd", "1: [ab] -9"},
    });
}

TEST(Sscanf, StoresOnlyThroughMatchingDestinations) {
    CheckTable({
        {"%d %d", "1 2", "d", "raised Insufficent pointers for format specifiers!: 1"},
        {"%d %*d", "1 2", "d", "1: 1"},
        {"%d %d", "1 2", "ds", "1: 1 [~]"},
        {"%s %s", "a b", "dS", "0: -9 [~]"},
        {"%g %d", "2.9 -7", "dg", "2: 2 -7"},
        {"%g", "1e10", "d", "0: -9"},
        {"%x", "FFFFFFFF", "g", "1: 4294967295"},
        {"%s", std::string(300, 'x'), "S", "1: [" + std::string(255, 'x') + "]"},
    });
}

TEST(Sscanf, CharBufferNeverOverrunsInputOrBuffer) {
    char buf[6];
    std::memset(buf, '#', sizeof buf);
    EXPECT_EQ(Sscanf("ab", "%4c", {TScanDest(buf, 5)}), 1);
    EXPECT_EQ(std::string(buf, 6), std::string("ab\0\0##", 6));
    std::memset(buf, '#', sizeof buf);
    EXPECT_EQ(Sscanf("abcdefgh", "%8c", {TScanDest(buf, 3)}), 1);
    EXPECT_EQ(std::string(buf, 6), "abc###");
    std::memset(buf, '#', sizeof buf);
    EXPECT_EQ(Sscanf("abc", "%s", {TScanDest(buf, 5)}), 0) << "a string run has no fixed size";
    EXPECT_EQ(std::string(buf, 6), "######");
}

// A locale whose decimal separator is the comma. Fresh machines rarely have one installed, so
// one is compiled into a scratch folder when the locale sources are there.
bool SelectDecimalCommaLocale() {
#ifdef _WIN32
    // Windows has every locale, under names of its own.
    return std::setlocale(LC_ALL, "German_Germany.1252") != nullptr;
#endif
    if (std::setlocale(LC_ALL, "de_DE.UTF-8"))
        return true;
    const std::string dir = ::testing::TempDir() + "propdump-locales";
    const std::string command = "mkdir -p '" + dir + "' && localedef -i de_DE -f UTF-8 '" + dir +
                                "/de_DE.UTF-8' >/dev/null 2>&1";
    if (std::system(command.c_str()) != 0)
        return false;
#ifndef _WIN32
    ::setenv("LOCPATH", dir.c_str(), 1);
#endif
    return std::setlocale(LC_ALL, "de_DE.UTF-8") != nullptr;
}

TEST(Sscanf, ReadsThePointWhateverTheLocale) {
    if (!SelectDecimalCommaLocale())
        GTEST_SKIP() << "no decimal-comma locale can be had here";
    const std::string separator = std::localeconv()->decimal_point;
    long double value = 0;
    const int count = Sscanf("12.5E", "%g", {&value});
    long double comma = 0;
    const int commaCount = Sscanf("12,5", "%g", {&comma});
    const TObjectPosition typed = TextToPosition("12.345N 6.789E 1.5a 90.5");
    std::setlocale(LC_ALL, "C");
    EXPECT_EQ(separator, ",");
    EXPECT_EQ(count, 1);
    EXPECT_EQ(value, 12.5L);
    EXPECT_EQ(commaCount, 1);
    EXPECT_EQ(comma, 12.0L);
    EXPECT_EQ(typed.Z, 12345);
    EXPECT_EQ(typed.X, -6789);
    EXPECT_EQ(typed.Y, 1500);
    EXPECT_EQ(typed.Yaw, 905);
}

TEST(Sscanf, SurvivesArbitraryBytes) {
    // Exact-size heap copies let the sanitizer build catch any read past Input or Format.
    const std::string pieces[] = {"%", "d", "[", "]", "\\", "^", "-", "*", "5", "c", "s", "g", "x",
                                  "%%", " ", "\t", std::string(1, '\0'), "\xff", "p", "m", "C"};
    std::mt19937 random(1234);
    int32_t n = 0;
    std::string text;
    for (int round = 0; round < 20000; ++round) {
        std::string format, input;
        for (int k = random() % 12; k > 0; --k)
            format += pieces[random() % std::size(pieces)];
        for (int k = random() % 12; k > 0; --k)
            input += pieces[random() % std::size(pieces)];
        auto f = std::make_unique<char[]>(format.size());
        auto in = std::make_unique<char[]>(input.size());
        std::memcpy(f.get(), format.data(), format.size());
        std::memcpy(in.get(), input.data(), input.size());
        try {
            const int count = Sscanf({in.get(), input.size()}, {f.get(), format.size()}, {&n, &text});
            ASSERT_LE(count, 2) << format;
        } catch (const ESscanfError& e) {
            ASSERT_STREQ(e.what(), "Insufficent pointers for format specifiers!") << format;
        }
    }
}
