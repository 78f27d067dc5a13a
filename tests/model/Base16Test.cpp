#include "model/Base16.h"

#include <gtest/gtest.h>

#include <vector>

TEST(Base16, EncodesUpperCaseHighNibbleFirst) {
    const uint8_t bytes[] = {0x00, 0x7F, 0x80, 0xFF};
    std::string text = "stale";
    EXPECT_EQ(Base16Encode(text, bytes, 4), 8);
    EXPECT_EQ(text, "007F80FF");
    EXPECT_EQ(Base16Encode(text, bytes, 0), 0);
    EXPECT_EQ(text, "");
}

TEST(Base16, DecodesEitherCaseAndToleratesNonHexDigits) {
    struct Case {
        const char* Text;
        uint8_t Byte;
    };
    const Case cases[] = {{"0a", 0x0A}, {"0A", 0x0A}, {"G1", 0xF1}, {"1G", 0xFF}, {"ff", 0xFF}, {"GG", 0xFF}};
    for (const Case& c : cases) {
        uint8_t out[2] = {0x55, 0x55};
        EXPECT_EQ(Base16Decode(out, c.Text, 2), 1) << c.Text;
        EXPECT_EQ(out[0], c.Byte) << c.Text;
        EXPECT_EQ(out[1], 0x55) << c.Text << ": wrote past Count / 2 bytes";
    }
}

TEST(Base16, OddCountIsRefusedBeforeWriting) {
    uint8_t out[2] = {0x55, 0x55};
    try {
        Base16Decode(out, "ABC", 3);
        FAIL() << "odd count accepted";
    } catch (const EBase16Error& e) {
        EXPECT_STREQ(e.what(), "Invalid source, size is not a multiple of 2");
    }
    EXPECT_EQ(out[0], 0x55);
    EXPECT_EQ(Base16Decode(out, "", 0), 0);
    EXPECT_EQ(out[0], 0x55);
}

TEST(Base16, RoundTripsEveryByte) {
    std::vector<uint8_t> all(256);
    for (int i = 0; i < 256; ++i)
        all[i] = static_cast<uint8_t>(i);
    std::string text;
    Base16Encode(text, all.data(), 256);
    std::vector<uint8_t> back(256);
    EXPECT_EQ(Base16Decode(back.data(), text.data(), static_cast<int>(text.size())), 256);
    EXPECT_EQ(back, all);
}
