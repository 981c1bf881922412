#include "TextReading.h"

#include <QString>

#include <climits>

#include <gtest/gtest.h>

namespace pravix
{
namespace
{

TEST(IntegerReading, LeadingDigitsAfterBlanksAndSign)
{
    EXPECT_EQ(readInteger(u"42"), 42);
    EXPECT_EQ(readInteger(u"  \t\n-12abc"), -12);
    EXPECT_EQ(readInteger(u"+7"), 7);
    EXPECT_EQ(readInteger(u"007x9"), 7);
    EXPECT_EQ(readInteger(u"10.9"), 10);
}

TEST(IntegerReading, NoDigitsGiveZero)
{
    EXPECT_EQ(readInteger(u""), 0);
    EXPECT_EQ(readInteger(u"abc"), 0);
    EXPECT_EQ(readInteger(u"- 5"), 0);
    EXPECT_EQ(readInteger(u"+-5"), 0);
    EXPECT_EQ(readInteger(u"   "), 0);
}

TEST(IntegerReading, SaturatesAtTheEdgesOfTheRange)
{
    EXPECT_EQ(readInteger(u"2147483647"), INT_MAX);
    EXPECT_EQ(readInteger(u"2147483648"), INT_MAX);
    EXPECT_EQ(readInteger(u"-2147483648"), INT_MIN);
    EXPECT_EQ(readInteger(u"-2147483649"), INT_MIN);
    EXPECT_EQ(readInteger(u"99999999999999999999999999999999"), INT_MAX);
    EXPECT_EQ(readInteger(u"-99999999999999999999999999999999"), INT_MIN);
}

TEST(BooleanReading, YesForLettersAndNonZeroDigits)
{
    for (const char16_t* text : {u"YES", u"y", u"true", u"T", u"1", u"9", u"0001", u"  +3", u"-1", u"\ttrue"}) {
        EXPECT_TRUE(readBoolean(text)) << QString::fromUtf16(text).toStdString();
    }
}

TEST(BooleanReading, NoForEverythingElse)
{
    for (const char16_t* text : {u"NO", u"no", u"false", u"0", u"000", u"", u"  ", u"abc", u"0.5", u"+", u"- 1",
                                 u"on"}) {
        EXPECT_FALSE(readBoolean(text)) << QString::fromUtf16(text).toStdString();
    }
}

}  // namespace
}  // namespace pravix
