#include "StringExtensions.h"

#include <QDateTime>
#include <QRegularExpression>

#include <gtest/gtest.h>

namespace pravix
{
namespace
{

TEST(Md5Text, KnownDigestsAsLowerCaseHex)
{
    EXPECT_EQ(md5(""), "d41d8cd98f00b204e9800998ecf8427e");
    EXPECT_EQ(md5("abc"), "900150983cd24fb0d6963f7d28e17f72");
    EXPECT_TRUE(md5("0:0:0:0:0:0").startsWith("d12a91a7eebc7a84"));
    EXPECT_TRUE(md5("0:28:66:171:3:9").startsWith("e293afa2d31565e1"));
    const QRegularExpression hex32("^[0-9a-f]{32}$");
    EXPECT_TRUE(hex32.match(md5(QString::fromUtf8("Grüße, 世界"))).hasMatch());
}

TEST(Md5Text, HashesUtf8BytesAndStopsAtNul)
{
    // "é" is two bytes in UTF-8; the digest must be that of those bytes, not of Latin-1.
    EXPECT_EQ(md5(QString::fromUtf8("\xC3\xA9")), "66ddcd97cfdeabb2f6fb8a999b4bc76f");
    const QString withNul = QString("ab") + QChar(0) + QString("cd");
    EXPECT_EQ(md5(withNul), md5("ab"));
    EXPECT_EQ(md5(QString(QChar(0)) + "x"), md5(""));
}

TEST(TimeTexts, RoundToWholeUnits)
{
    EXPECT_EQ(TimeStampSeconds(1700000000499), "1700000000");
    EXPECT_EQ(TimeStampSeconds(1700000000600), "1700000001");
    EXPECT_EQ(TimeStamp(1700000000123), "1700000000123");
    EXPECT_EQ(TimeStampSeconds(0), "0");
}

TEST(TimeTexts, CurrentMomentIsTenDigitSeconds)
{
    const qint64 before = QDateTime::currentSecsSinceEpoch();
    const QString seconds = TimeStampSeconds();
    const qint64 after = QDateTime::currentSecsSinceEpoch();
    ASSERT_EQ(seconds.size(), 10);
    EXPECT_GE(seconds.toLongLong(), before);
    EXPECT_LE(seconds.toLongLong(), after + 1);
    EXPECT_EQ(TimeStamp().size(), 13);
}

// The calendar year, also on the days around New Year that belong to a week of the other year
// (31 December 2024 lies in ISO week 1 of 2025; 1 January 2021 and 1 January 2027 in week 53 of the
// year before).
TEST(TimeTexts, LogNameUsesTheCalendarYear)
{
    const auto at = [](int y, int m, int d, int h, int min) {
        return GetTimeYYYMMDDHHMM(QDateTime(QDate(y, m, d), QTime(h, min)));
    };
    EXPECT_EQ(at(2026, 12, 8, 9, 5), "2026-12-08 09:05");
    EXPECT_EQ(at(2024, 12, 29, 13, 7), "2024-12-29 13:07");
    EXPECT_EQ(at(2024, 12, 31, 23, 59), "2024-12-31 23:59");
    EXPECT_EQ(at(2021, 1, 1, 0, 0), "2021-01-01 00:00");
    EXPECT_EQ(at(2026, 12, 31, 23, 59), "2026-12-31 23:59");
    EXPECT_EQ(at(2027, 1, 1, 0, 0), "2027-01-01 00:00");
}

// The same minute of two years never shares a name: the second launch would delete the first's log.
TEST(TimeTexts, SameMinuteOfTwoYearsDiffers)
{
    const QString before = GetTimeYYYMMDDHHMM(QDateTime(QDate(2026, 1, 1), QTime(10, 0)));
    const QString after = GetTimeYYYMMDDHHMM(QDateTime(QDate(2027, 1, 1), QTime(10, 0)));
    EXPECT_EQ(before, "2026-01-01 10:00");
    EXPECT_EQ(after, "2027-01-01 10:00");
    EXPECT_NE(before, after);
}

TEST(UrlEscaping, EscapesExactlyTheReservedSet)
{
    const QString reserved = QString::fromUtf8("?!@#$^&%*+,:;='\"`<>()[]{}/\\|");
    ASSERT_EQ(reserved.size(), 28);
    const QString encoded = urlEncodeStr(reserved);
    EXPECT_EQ(encoded, "%3F%21%40%23%24%5E%26%25%2A%2B%2C%3A%3B%3D%27%22%60%3C%3E%28%29%5B%5D%7B%7D%2F%5C%7C");
    EXPECT_EQ(urlEncodeStr("a/b"), "a%2Fb");
    EXPECT_EQ(urlEncodeStr("Intel(R) Core(TM)"), "Intel%28R%29 Core%28TM%29");
}

TEST(UrlEscaping, KeepsOtherAsciiAndEncodesTheRestAsUtf8)
{
    EXPECT_EQ(urlEncodeStr("Az09-._~ "), "Az09-._~ ");
    EXPECT_EQ(urlEncodeStr(QString("tab\there")), QString("tab\there"));
    EXPECT_EQ(urlEncodeStr(QString::fromUtf8("caf\xC3\xA9")), "caf%C3%A9");
    EXPECT_EQ(urlEncodeStr(QString::fromUtf8("\xF0\x9F\x93\xB7")), "%F0%9F%93%B7");
    const QString empty = urlEncodeStr("");
    EXPECT_TRUE(empty.isEmpty());
    EXPECT_FALSE(empty.isNull());
}

TEST(UrlEscaping, UnpairedSurrogateGivesNull)
{
    EXPECT_TRUE(urlEncodeStr(QString(QChar(0xD800))).isNull());
    EXPECT_TRUE(urlEncodeStr(QString("a") + QChar(0xDC00) + "b").isNull());
    EXPECT_TRUE(urlEncodeStr(QString("a") + QChar(0xD83D)).isNull());
}

}  // namespace
}  // namespace pravix
