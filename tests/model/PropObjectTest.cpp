#include "model/CFunctions.h"
#include "model/LineFormat.h"
#include "model/Propdmp.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <optional>
#include <random>
#include <string>
#include <vector>

namespace {

TPropObject WorkedExample() {
    TPropObject o;
    o.Owner = 104;
    o.Timestamp = 1000000000;
    o.X = -6789;
    o.Y = 1500;
    o.Z = 12345;
    o.Yaw = 900;
    o.Tilt = 0;
    o.Roll = 450;
    o.ObjectType = 2;
    o.Model = "box01.rwx";
    o.Description = "red box";
    o.DataLength = 3;
    o.Data = {0x01, 0xAB, 0x00};
    return o;
}

// What a line of the version carries; the other fields must read back as 0 or empty.
TPropObject Carried(TPropObject o, int version) {
    if (version < 3)
        o.Tilt = o.Roll = 0;
    if (version < 4) {
        o.ObjectType = o.DataLength = 0;
        o.Data.clear();
    }
    o.MarkedForDeletion = false;
    return o;
}

void ExpectSameFields(const TPropObject& actual, const TPropObject& expected, const std::string& where) {
    EXPECT_EQ(actual.Owner, expected.Owner) << where;
    EXPECT_EQ(actual.Timestamp, expected.Timestamp) << where;
    EXPECT_EQ(actual.X, expected.X) << where;
    EXPECT_EQ(actual.Y, expected.Y) << where;
    EXPECT_EQ(actual.Z, expected.Z) << where;
    EXPECT_EQ(actual.Yaw, expected.Yaw) << where;
    EXPECT_EQ(actual.Tilt, expected.Tilt) << where;
    EXPECT_EQ(actual.Roll, expected.Roll) << where;
    EXPECT_EQ(actual.ObjectType, expected.ObjectType) << where;
    EXPECT_EQ(actual.DataLength, expected.DataLength) << where;
    EXPECT_EQ(actual.Model, expected.Model) << where;
    EXPECT_EQ(actual.Description, expected.Description) << where;
    EXPECT_EQ(actual.Action, expected.Action) << where;
    EXPECT_EQ(actual.Data, expected.Data) << where;
}

std::string ParseError(int version, const std::string& line) {
    TPropObject o;
    try {
        o.ParseLine(version, line);
    } catch (const EPropdumpError& e) {
        return e.what();
    }
    return "(accepted)";
}

} // namespace

TEST(PropObjectLine, WorkedExampleBothWays) {
    const struct {
        int Version;
        const char* Line;
    } cases[] = {
        {2, "104 1000000000 -6789 1500 12345 900 9 7 0 box01.rwxred box"},
        {3, "104 1000000000 -6789 1500 12345 900 0 450 9 7 0 box01.rwxred box"},
        {4, "104 1000000000 -6789 1500 12345 900 0 450 2 9 7 0 3 box01.rwxred box01AB00"},
    };
    const TPropObject example = WorkedExample();
    for (const auto& c : cases) {
        const std::string where = "version " + std::to_string(c.Version);
        EXPECT_EQ(example.FormatLine(c.Version), c.Line) << where;
        std::string appended = "prefix:";
        example.AppendLine(c.Version, appended);
        EXPECT_EQ(appended, std::string("prefix:") + c.Line) << where;

        TPropObject read;
        read.MarkedForDeletion = true;
        read.ParseLine(c.Version, c.Line);
        ExpectSameFields(read, Carried(example, c.Version), where);
        EXPECT_TRUE(read.MarkedForDeletion) << where << ": reading a line must not touch the mark";
    }
}

TEST(PropObjectLine, ReadingReplacesEveryFieldTheLineDoesNotCarry) {
    TPropObject o = WorkedExample();
    o.Action = "old";
    o.ParseLine(2, "1 2 3 4 5 6 1 0 0 m");
    TPropObject expected;
    expected.Owner = 1;
    expected.Timestamp = 2;
    expected.X = 3;
    expected.Y = 4;
    expected.Z = 5;
    expected.Yaw = 6;
    expected.Model = "m";
    ExpectSameFields(o, expected, "version 2 over a filled object");
}

TEST(PropObjectLine, LineBreaksInTextsAreEscapedOneByteForOne) {
    EXPECT_EQ(EscapeLineBreaks("a\r\nb"), "a\x7F\x80"
                                          "b");
    std::string text = "x\x80y\x7Fz";
    UnescapeLineBreaks(text);
    EXPECT_EQ(text, "x\ny\rz");

    TPropObject o;
    o.Model = "m";
    o.Description = "a\r\nb";
    o.Action = "\n";
    const std::string line = o.FormatLine(3);
    EXPECT_EQ(line, "0 0 0 0 0 0 0 0 1 4 1 ma\x7F\x80"
                    "b\x80");
    TPropObject back;
    back.ParseLine(3, line);
    EXPECT_EQ(back.Description, "a\r\nb");
    EXPECT_EQ(back.Action, "\n");

    // The escape bytes themselves cannot survive: they come back as the breaks they stand for.
    o.Description = "\x80\x7F";
    back.ParseLine(3, o.FormatLine(3));
    EXPECT_EQ(back.Description, "\n\r");

    // The model is never escaped.
    o.Model = "a\x80";
    back.ParseLine(3, o.FormatLine(3));
    EXPECT_EQ(back.Model, "a\x80");
}

TEST(PropObjectLine, RefusesLinesThatDoNotScan) {
    const struct {
        int Version;
        const char* Line;
    } cases[] = {
        {2, ""},
        {2, "   "},
        {2, "1 2 3 4 5 6 7 8"},                       // items missing
        {2, "1 2 3 4 5 6 1 0"},                       // one length short
        {2, "1 2 3 4 5 6 1 0 0"},                     // no text part for a non-empty model
        {2, "1 2 3 4 5 6 1 0 0 "},                    // the one separator is not text
        {2, "4294967296 2 3 4 5 6 1 0 0 m"},          // beyond 32 bits
        {2, "2147483648 2 3 4 5 6 1 0 0 m"},          // one past the largest
        {2, "-2147483649 2 3 4 5 6 1 0 0 m"},         // one below the smallest
        {2, "000000000000000000002147483648 2 3 4 5 6 1 0 0 m"}, // zeros in front change nothing
        {2, "100000000000000000000000000000 2 3 4 5 6 1 0 0 m"},
        {2, "1-2 2 3 4 5 6 1 0 0 m"},                 // a run of digits and minus is one item
        {2, "1 --2 3 4 5 6 1 0 0 m"},
        {2, "1 - 3 4 5 6 1 0 0 m"},
        {2, "1 2- 3 4 5 6 1 0 0 m"},
        {2, "+5 2 3 4 5 6 1 0 0 m"},                  // no plus sign
        {2, "1\t2 3 4 5 6 1 0 0 m"},                  // a TAB separates nothing
        {2, "\t1 2 3 4 5 6 1 0 0 m"},
        {2, "1 2 3 4 5 6 1 0 x m"},
        {3, "104 1000000000 -6789 1500 12345 900 9 7 0 box01.rwxred box"}, // a version-2 line
        {4, "104 1000000000 -6789 1500 12345 900 0 450 9 7 0 box01.rwxred box"},
        {4, "1 2 3 4 5 6 0 0 0 1 0 0 -1 m"},          // negative data length
        {4, "1 2 3 4 5 6 0 0 0 1 0 0 2 m01A"},        // data shorter than its length
        {4, "1 2 3 4 5 6 0 0 0 1 0 0 1 m"},
        {4, "1 2 3 4 5 6 0 0 0 0 0 0 1 "},
        {4, "1 2 3 4 5 6 0 0 0 5 0 0 1 m01"},         // the model already took the data text
    };
    for (const auto& c : cases)
        EXPECT_EQ(ParseError(c.Version, c.Line), "Line format not understood")
            << "version " << c.Version << ": \"" << c.Line << "\"";
}

TEST(PropObjectLine, UnknownVersionsAreNamedInTheMessage) {
    for (const int version : {0, 1, 5, -3}) {
        const std::string expected = "'" + std::to_string(version) + "' is not a known propdump file version";
        EXPECT_EQ(ParseError(version, "104 1000000000 -6789 1500 12345 900 9 7 0 box01.rwxred box"), expected);
        try {
            WorkedExample().FormatLine(version);
            ADD_FAILURE() << "FormatLine accepted version " << version;
        } catch (const EPropdumpError& e) {
            EXPECT_EQ(e.what(), expected);
        }
    }
}

TEST(PropObjectLine, ReadsLooselyWrittenLines) {
    const struct {
        int Version;
        const char* Line;
        int32_t Owner, X, Yaw;
        const char *Model, *Description, *Action;
    } cases[] = {
        {2, "  \b1 2 3 4 5 6 1 1 1 abc", 1, 3, 6, "a", "b", "c"},            // blanks before the first item
        {2, "1   2\r3\n4 5 6 1 1 1 abc", 1, 3, 6, "a", "b", "c"},             // any run of blanks between items
        {2, "-2147483648 2 2147483647 4 5 -0 1 1 1 abc", INT32_MIN, INT32_MAX, 0, "a", "b", "c"},
        {2, "007 2 -0003 4 5 6 1 1 1 abc", 7, -3, 6, "a", "b", "c"},          // leading zeros
        {2, "0000000000000000000000000042 2 -00000000000000000000002147483648 4 5 6 1 1 1 abc", 42,
         INT32_MIN, 6, "a", "b", "c"},
        {2, "1 2 3 4 5 6 1 1 1 abc and more", 1, 3, 6, "a", "b", "c"},        // the rest is ignored
        {2, "1 2 3 4 5 6 1 1 1abc", 1, 3, 6, "a", "b", "c"},                  // no separator before the text
        {2, "1 2 3 4 5 6 1 1 1\tabc", 1, 3, 6, "\t", "a", "b"},               // a TAB is text
        {2, "1 2 3 4 5 6 9 9 9 abc", 1, 3, 6, "abc", "", ""},                 // lengths past the end
        {2, "1 2 3 4 5 6 -2 3 2 abcdef", 1, 3, 6, "", "abc", "bc"},           // negative length: start never before byte 1
        {2, "1 2 3 4 5 6 2 -1 2 abcdef", 1, 3, 6, "ab", "", "bc"},            // and moves the next start back
        {2, "1 2 3 4 5 6 2147483647 2147483647 2147483647 ab", 1, 3, 6, "ab", "", ""},
        {2, "1 2 3 4 5 6 3 0 0  ab", 1, 3, 6, " ab", "", ""},                 // only one separator is dropped
        {2, "1 2 3 4 5 6 1 0 0  ", 1, 3, 6, " ", "", ""},
    };
    for (const auto& c : cases) {
        TPropObject o;
        ASSERT_NO_THROW(o.ParseLine(c.Version, c.Line)) << c.Line;
        EXPECT_EQ(o.Owner, c.Owner) << c.Line;
        EXPECT_EQ(o.X, c.X) << c.Line;
        EXPECT_EQ(o.Yaw, c.Yaw) << c.Line;
        EXPECT_EQ(o.Model, c.Model) << c.Line;
        EXPECT_EQ(o.Description, c.Description) << c.Line;
        EXPECT_EQ(o.Action, c.Action) << c.Line;
    }
}

TEST(PropObjectLine, DataIsDecodedAfterTheThreeStrings) {
    TPropObject o;
    o.ParseLine(4, "1 2 3 4 5 6 7 8 3 1 1 1 2 abcffG1trailing");
    EXPECT_EQ(o.ObjectType, 3);
    EXPECT_EQ(o.DataLength, 2);
    EXPECT_EQ(o.Data, (TCharArray{0xFF, 0xF1}));
    EXPECT_EQ(o.Action, "c");

    o.ParseLine(4, "1 2 3 4 5 6 7 8 3 1 -5 0 1 abcd");
    EXPECT_EQ(o.Data, (TCharArray{0xAB})) << "negative lengths never move the data before the text";
}

TEST(PropObjectLine, ObjectWithoutTextsReadsBack) {
    TPropObject o;
    o.Owner = 7;
    o.X = -1;
    o.Tilt = 5;
    o.ObjectType = 1;
    const struct {
        int Version;
        const char* Line;
    } cases[] = {
        {2, "7 0 -1 0 0 0 0 0 0 "},
        {3, "7 0 -1 0 0 0 5 0 0 0 0 "},
        {4, "7 0 -1 0 0 0 5 0 1 0 0 0 0 "},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(o.FormatLine(c.Version), c.Line);
        for (const std::string& line : {std::string(c.Line), std::string(c.Line) + "  \r",
                                        std::string(c.Line).substr(0, std::string(c.Line).size() - 1)}) {
            TPropObject back;
            back.Model = "stale";
            ASSERT_NO_THROW(back.ParseLine(c.Version, line)) << '"' << line << '"';
            ExpectSameFields(back, Carried(o, c.Version), line);
        }
    }
    // Only an object with nothing at all to read is taken without a text part.
    EXPECT_EQ(ParseError(2, "7 0 -1 0 0 0 0 1 0 "), "Line format not understood");
    EXPECT_EQ(ParseError(2, "7 0 -1 0 0 0 0 0 -1 "), "Line format not understood");
}

TEST(PropObjectLine, ModelBeginningWithBlanksRoundTrips) {
    for (const char* model : {" x", "  ", "\b\r\n y"}) {
        TPropObject o;
        o.Model = model;
        o.Description = " d";
        for (const int version : {2, 3, 4}) {
            TPropObject back;
            back.ParseLine(version, o.FormatLine(version));
            EXPECT_EQ(back.Model, model) << "version " << version;
            EXPECT_EQ(back.Description, " d") << "version " << version;
        }
    }
}

TEST(PropObjectLine, WriterNeverReadsPastData) {
    TPropObject o;
    o.Model = "m";
    o.DataLength = 4; // claims more than Data holds
    o.Data = {0xDE, 0xAD};
    EXPECT_EQ(o.FormatLine(4), "0 0 0 0 0 0 0 0 0 1 0 0 2 mDEAD");
    o.DataLength = -1;
    EXPECT_EQ(o.FormatLine(4), "0 0 0 0 0 0 0 0 0 1 0 0 0 m");
    o.DataLength = 1;
    EXPECT_EQ(o.FormatLine(4), "0 0 0 0 0 0 0 0 0 1 0 0 1 mDE");
    // Versions 2 and 3 carry neither the type nor the data.
    o.ObjectType = 4;
    o.Tilt = 9;
    EXPECT_EQ(o.FormatLine(2), "0 0 0 0 0 0 1 0 0 m");
    EXPECT_EQ(o.FormatLine(3), "0 0 0 0 0 0 9 0 1 0 0 m");
}

namespace {

std::string RandomBytes(std::mt19937_64& rng, std::size_t maxLength, bool escapeBytesAllowed) {
    std::string s(rng() % (maxLength + 1), '\0');
    for (char& c : s) {
        uint8_t b = static_cast<uint8_t>(rng());
        // Bytes 127 and 128 in a description stand for line breaks; they do not round-trip.
        while (!escapeBytesAllowed && (b == 127 || b == 128))
            b = static_cast<uint8_t>(rng());
        c = static_cast<char>(b);
    }
    return s;
}

int32_t RandomInt(std::mt19937_64& rng) {
    switch (rng() % 4) {
    case 0:
        return static_cast<int32_t>(rng());
    case 1:
        return rng() % 2 ? INT32_MIN : INT32_MAX;
    case 2:
        return 0;
    default:
        return static_cast<int32_t>(rng() % 2001) - 1000;
    }
}

TPropObject RandomObject(std::mt19937_64& rng) {
    TPropObject o;
    for (int32_t* f : {&o.Owner, &o.Timestamp, &o.X, &o.Y, &o.Z, &o.Yaw, &o.Tilt, &o.Roll, &o.ObjectType})
        *f = RandomInt(rng);
    o.Model = RandomBytes(rng, rng() % 8 == 0 ? 300 : 20, true);
    o.Description = RandomBytes(rng, rng() % 2 ? 40 : 0, false);
    o.Action = RandomBytes(rng, rng() % 2 ? 40 : 0, false);
    o.Data.resize(rng() % 4 == 0 ? rng() % 50 : 0);
    for (uint8_t& b : o.Data)
        b = static_cast<uint8_t>(rng());
    o.DataLength = static_cast<int32_t>(o.Data.size());
    return o;
}

} // namespace

TEST(PropObjectLine, RandomObjectsRoundTrip) {
    std::mt19937_64 rng(20240611);
    for (int i = 0; i < 3000; ++i) {
        const TPropObject o = RandomObject(rng);
        for (const int version : {2, 3, 4}) {
            const std::string line = o.FormatLine(version);
            TPropObject back;
            ASSERT_NO_THROW(back.ParseLine(version, line)) << "object " << i << " version " << version;
            ExpectSameFields(back, Carried(o, version), "object " + std::to_string(i) + " version " +
                                                            std::to_string(version));
            EXPECT_EQ(back.FormatLine(version), line) << "object " << i << " version " << version;
        }
    }
}

namespace {

// The integer part of a line with its separators disturbed in the ways a hand-edited file may
// be: extra blanks of every kind, TABs, signs, leading zeros, doubled minus, digits run into
// digits, numbers near and past the 32-bit limits.
std::string DisturbedIntegers(std::mt19937_64& rng, int count) {
    static const char* const numbers[] = {"0",          "-0",          "7",          "-7",   "0012",
                                          "2147483647", "2147483648",  "-2147483648", "-2147483649",
                                          "4294967296", "99999999999", "+5",          "1-2",  "--3",
                                          "-",          "12a",         "00000000000000000000042"};
    static const char* const separators[] = {" ", " ", " ", "  ", "\b", "\r", "\n", "\t", " \t", ""};
    std::string s;
    if (rng() % 4 == 0)
        s += separators[rng() % std::size(separators)];
    for (int i = 0; i < count; ++i) {
        if (i > 0)
            s += rng() % 6 ? " " : separators[rng() % std::size(separators)];
        s += rng() % 12 ? std::to_string(static_cast<int>(rng() % 3)) : numbers[rng() % std::size(numbers)];
    }
    return s;
}

} // namespace

// The reader is hand-written for speed; its integers must be exactly what the general scan
// routine reads from the same line with the format of the version.
TEST(PropObjectLine, IntegersReadAsTheScanRoutineReadsThem) {
    const struct {
        int Version;
        int Integers;
        const char* Format;
    } formats[] = {
        {2, 9, "%d %d %d %d %d %d %d %d %d %[^]"},
        {3, 11, "%d %d %d %d %d %d %d %d %d %d %d %[^]"},
        {4, 13, "%d %d %d %d %d %d %d %d %d %d %d %d %d %[^]"},
    };
    std::mt19937_64 rng(77);
    int accepted = 0;
    for (int i = 0; i < 20000; ++i) {
        const auto& f = formats[rng() % 3];
        const std::string line = DisturbedIntegers(rng, f.Integers) + " xyz0123456789abcdef";

        int32_t v[13] = {};
        std::string text;
        std::vector<TScanDest> dest;
        for (int k = 0; k < f.Integers; ++k)
            dest.emplace_back(&v[k]);
        dest.emplace_back(&text);
        bool scanned = Sscanf(line, f.Format, std::span<const TScanDest>(dest)) == f.Integers + 1;

        TPropObject o;
        bool parsed = true;
        try {
            o.ParseLine(f.Version, line);
        } catch (const EPropdumpError&) {
            parsed = false;
        }
        if (scanned && f.Version == 4) {
            // Data that is not all there, or a negative count of it, is refused on purpose.
            const int64_t start = std::max<int64_t>(0, int64_t{v[9]} + v[10] + v[11]);
            if (v[12] < 0 || (v[12] > 0 && int64_t(text.size()) - start < 2 * int64_t{v[12]}))
                scanned = false;
        }
        ASSERT_EQ(parsed, scanned) << "version " << f.Version << ": \"" << line << "\"";
        const std::optional<int32_t> owner = ReadableLineOwner(f.Version, line);
        ASSERT_EQ(owner.has_value(), parsed) << "check only, version " << f.Version << ": \""
                                             << line << '"';
        if (!parsed)
            continue;
        ASSERT_EQ(*owner, o.Owner) << line;
        const std::optional<TLineOwner> written = ReadableLineOwnerAsWritten(f.Version, line);
        ASSERT_TRUE(written && written->Owner == o.Owner) << line;
        ASSERT_EQ(written->AsWritten, o.FormatLine(f.Version) == line) << line;
        ++accepted;
        const int32_t actual[] = {o.Owner, o.Timestamp, o.X, o.Y, o.Z, o.Yaw, o.Tilt, o.Roll, o.ObjectType};
        const int fixed = f.Version == 2 ? 6 : f.Version == 3 ? 8 : 9;
        for (int k = 0; k < fixed; ++k)
            ASSERT_EQ(actual[k], v[k]) << "item " << k + 1 << " of \"" << line << '"';
        if (f.Version == 4) {
            ASSERT_EQ(o.DataLength, v[12]) << line;
        }
    }
    EXPECT_GT(accepted, 2000) << "the disturbed lines should still often be readable";
}

// Lines at the edges of the reader's quick way (numbers of nine to eleven digits, integers that
// reach past the first 64 bytes, texts that do not fit their lengths) are read, or refused, as
// the byte-by-byte way reads them, whether the whole object or only its owner is asked for.
TEST(PropObjectLine, QuickWayReadsAsTheByteByByteWay) {
    const std::string longText(80, 'm');
    const struct {
        std::string Line;
        bool Readable;
        int32_t Owner;
        int32_t Timestamp;
    } cases[] = {
        {"1 2147483647 0 0 0 0 0 0 0 1 0 0 0 m", true, 1, 2147483647},
        {"-2147483648 -2147483648 0 0 0 0 0 0 0 1 0 0 0 m", true, INT32_MIN, INT32_MIN},
        {"1 2147483648 0 0 0 0 0 0 0 1 0 0 0 m", false, 0, 0},
        {"1 -2147483649 0 0 0 0 0 0 0 1 0 0 0 m", false, 0, 0},
        {"1 12345678901 0 0 0 0 0 0 0 1 0 0 0 m", false, 0, 0},
        {"1 00000000001 0 0 0 0 0 0 0 1 0 0 0 m", true, 1, 1},
        {"123456789 999999999 0 0 0 0 0 0 0 1 0 0 0 m", true, 123456789, 999999999},
        {"7 1000000000 -1000000 -1000000 -1000000 3599 -900 900 12 80 0 0 0 " + longText, true, 7,
         1000000000},
        {"7 1000000000 -1000000 -1000000 -1000000 3599 -900 900 12 1 0 0 0 ", false, 0, 0},
        {"7 1000000000 -1000000 -1000000 -1000000 3599 -900 900 12 1 0 0 2 mAB", false, 0, 0},
        {"7 1000000000 -1000000 -1000000 -1000000 3599 -900 900 12 1 0 0 1 mAB", true, 7,
         1000000000},
        {"7 1 0 0 0 0 0 0 0 0 0 0 0 ", true, 7, 1},
        {"7 1 0 0 0 0 0 0 0 0 0 0 0", true, 7, 1},
        {"7  1 0 0 0 0 0 0 0 1 0 0 0 m", true, 7, 1},
        {" 7 1 0 0 0 0 0 0 0 1 0 0 0 m", true, 7, 1},
        {"7\b1 0 0 0 0 0 0 0 1 0 0 0 m", true, 7, 1},
        {"7 1 - 0 0 0 0 0 0 1 0 0 0 m", false, 0, 0},
        {"7 1 0- 0 0 0 0 0 0 1 0 0 0 m", false, 0, 0},
        {"7 1 0 0 0 0 0 0 0 1 0 0", false, 0, 0},
        {"7 1 0 0 0 0 0 0 0 1 0 0 0 0 m", true, 7, 1},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.Line);
        TPropObject o;
        bool parsed = true;
        try {
            o.ParseLine(4, c.Line);
        } catch (const EPropdumpError&) {
            parsed = false;
        }
        EXPECT_EQ(parsed, c.Readable);
        const std::optional<int32_t> owner = ReadableLineOwner(4, c.Line);
        EXPECT_EQ(owner.has_value(), c.Readable);
        if (!c.Readable || !parsed || !owner)
            continue;
        EXPECT_EQ(o.Owner, c.Owner);
        EXPECT_EQ(*owner, c.Owner);
        EXPECT_EQ(o.Timestamp, c.Timestamp);
    }
}

// A reader that passes found lines on copies those that are already what the writer would make
// of them, and only those: every line the writer makes is known as such, in every version (long
// ones that the quick way passes by included), and a readable line written any other way never
// is.
TEST(PropObjectLine, LinesAsTheWriterWritesThemAreKnown) {
    std::mt19937_64 rng(23);
    const auto number = [&rng]() -> int32_t {
        switch (rng() % 4) {
        case 0: return 0;
        case 1: return static_cast<int32_t>(rng() % 10) - 5;
        case 2: return static_cast<int32_t>(rng());
        default: return rng() % 2 ? INT32_MIN : INT32_MAX;
        }
    };
    for (int i = 0; i < 3000; ++i) {
        TPropObject o;
        for (int32_t* v : {&o.Owner, &o.Timestamp, &o.X, &o.Y, &o.Z, &o.Yaw, &o.Tilt, &o.Roll,
                           &o.ObjectType})
            *v = number();
        const std::string texts[] = {"", "m.rwx", " a\r\nb\x80\x7f ", std::string(70, 'z')};
        o.Model = texts[rng() % 4];
        if (o.Model.find_first_of("\r\n") != std::string::npos)
            o.Model.clear();
        o.Description = texts[rng() % 4];
        o.Action = texts[rng() % 4];
        for (std::size_t n = rng() % 3; n-- > 0;)
            o.Data.push_back(static_cast<uint8_t>(rng()));
        o.DataLength = static_cast<int32_t>(o.Data.size());
        for (const int version : {2, 3, 4}) {
            const std::string line = o.FormatLine(version);
            const std::optional<TLineOwner> found = ReadableLineOwnerAsWritten(version, line);
            ASSERT_TRUE(found) << line;
            EXPECT_EQ(found->Owner, o.Owner) << line;
            EXPECT_TRUE(found->AsWritten) << "version " << version << ": " << line;
        }
    }
    const std::string others[] = {
        "07 1 0 0 0 0 0 0 0 1 0 0 0 m",     // a zero in front
        "7 -0 0 0 0 0 0 0 0 1 0 0 0 m",     // minus zero
        "7 1 0 0 0 0 0 0 0 1 0 0 1 mab",    // lower-case data
        "7 1 0 0 0 0 0 0 0 1 0 0 1 mA\x01", // no hex digit
        "7 1 0 0 0 0 0 0 0 1 0 0 0 mmm",    // more text than the counts say
        "7 1 0 0 0 0 0 0 0 -1 0 0 0 m",     // a negative count
        "7 1 0 0 0 0 0 0 0 0 0 0 0  ",      // two blanks and no text
        "7 1 0 0 0 0 0 0 0 0 0 0 0",        // no blank and no text
        "7  1 0 0 0 0 0 0 0 1 0 0 0 m",     // two blanks between numbers
        "7\b1 0 0 0 0 0 0 0 1 0 0 0 m",     // another separator
        "7 00000000001 0 0 0 0 0 0 0 1 0 0 0 m",
    };
    for (const std::string& line : others) {
        SCOPED_TRACE(line);
        TPropObject o;
        o.ParseLine(4, line);
        ASSERT_NE(o.FormatLine(4), line) << "not a case of another way of writing";
        const std::optional<TLineOwner> found = ReadableLineOwnerAsWritten(4, line);
        ASSERT_TRUE(found);
        EXPECT_EQ(found->Owner, 7);
        EXPECT_FALSE(found->AsWritten);
    }
}
