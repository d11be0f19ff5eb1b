#include <gtest/gtest.h>

#include "platform/textnum.h"

using zelq::leadingNumber;
using zelq::parseInteger;

TEST(ParseInteger, AcceptsDecimalAndTheThreeHexPrefixes) {
    EXPECT_EQ(parseInteger("12"), 12);
    EXPECT_EQ(parseInteger("  -7"), -7);
    EXPECT_EQ(parseInteger("+007"), 7);
    EXPECT_EQ(parseInteger("$1F"), 31);
    EXPECT_EQ(parseInteger("0x10"), 16);
    EXPECT_EQ(parseInteger("0X1a"), 26);
    EXPECT_EQ(parseInteger("$FFFFFFFF"), -1);
    EXPECT_EQ(parseInteger("2147483647"), 2147483647);
    EXPECT_EQ(parseInteger("-2147483648"), -2147483647 - 1);
}

TEST(ParseInteger, RefusesEverythingElse) {
    for (const char* text : {"", " ", "abc", "12a", "1 ", "0x", "$", "-", "2147483648", "$100000000", "1.5",
                             "99999999999999999999"}) {
        EXPECT_FALSE(parseInteger(QString::fromLatin1(text)).has_value()) << text;
    }
}

TEST(LeadingNumber, TakesTheDigitsAtTheStart) {
    EXPECT_EQ(leadingNumber("12.avi"), 12);
    EXPECT_EQ(leadingNumber("100.avi"), 100);
    EXPECT_EQ(leadingNumber("  -3x"), -3);
    EXPECT_EQ(leadingNumber("x.avi"), 0);
    EXPECT_EQ(leadingNumber(""), 0);
    // Absurdly long numbers saturate instead of wrapping into small or negative keys.
    EXPECT_GT(leadingNumber(QString(40, QLatin1Char('9'))), 1000000000000LL);
}
