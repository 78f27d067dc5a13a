#include "model/Convert.h"

#include <gtest/gtest.h>

#include <string>

TEST(Convert, StrToIntReadsSignedDecimalWithin32Bits) {
    struct Case {
        const char* Text;
        int32_t Value;
    };
    const Case cases[] = {{"0", 0},          {"-0", 0},          {"+17", 17},
                          {"0012", 12},      {"2147483647", INT32_MAX},
                          {"-2147483648", INT32_MIN}};
    for (const Case& c : cases)
        EXPECT_EQ(StrToInt(c.Text), c.Value) << c.Text;
}

TEST(Convert, StrToIntRefusesEverythingElseNamingTheText) {
    const char* const refused[] = {"",    "-",  "+",   "12x", " 12",       "12 ",         "1 2",
                                   "--1", "+-1", "$1F", "0x1F", "2147483648", "-2147483649",
                                   "99999999999999999999"};
    for (const char* text : refused) {
        try {
            StrToInt(text);
            ADD_FAILURE() << "accepted '" << text << "'";
        } catch (const EConvertError& e) {
            EXPECT_EQ(e.what(), "'" + std::string(text) + "' is not a valid integer value");
        }
    }
}
