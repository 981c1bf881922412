#include <gtest/gtest.h>

#include <map>
#include <sstream>
#include <stdexcept>

#include "DcUtils.h"
#include "FourCCInt.h"
#include "LogStream.h"
#include "UniqueId.h"

TEST(FourCCInt, ConvertsBothWays)
{
    const FourCCInt ftyp("ftyp");
    EXPECT_EQ(ftyp.getUInt32(), 0x66747970u);
    EXPECT_EQ(ftyp.getString(), "ftyp");
    EXPECT_EQ(FourCCInt(0x6D657461u), FourCCInt("meta"));
    std::ostringstream out;
    out << FourCCInt("hvc1");
    EXPECT_EQ(out.str(), "hvc1");

    std::map<FourCCInt, int> byType{{FourCCInt("meta"), 1}, {FourCCInt("ftyp"), 2}};
    EXPECT_EQ(byType.begin()->first, FourCCInt("ftyp"));
}

TEST(FourCCInt, RefusesOtherLengths)
{
    for (const char* bad : {"abc", "abcde", ""})
    {
        try
        {
            FourCCInt code{std::string(bad)};
            FAIL() << bad;
        }
        catch (const std::runtime_error& e)
        {
            EXPECT_STREQ(e.what(), "FourCCInt given an String argument not exactly 4 characters long");
        }
    }
}

TEST(LogStream, LevelsAndTargets)
{
    ASSERT_EQ(getLogLevel(), 1);
    testing::internal::CaptureStdout();
    testing::internal::CaptureStderr();
    logInfo() << "info line" << 3 << std::endl;
    logWarning() << "warning " << 1 << ' ' << FourCCInt("meta") << std::endl;
    logError() << "error line" << std::endl;
    EXPECT_EQ(testing::internal::GetCapturedStdout(), "warning 1 meta\n");
    EXPECT_EQ(testing::internal::GetCapturedStderr(), "error line\n");

    setLogLevel(2);
    testing::internal::CaptureStdout();
    logInfo() << "info" << std::endl;
    EXPECT_EQ(testing::internal::GetCapturedStdout(), "info\n");

    setLogLevel(-1);
    testing::internal::CaptureStdout();
    testing::internal::CaptureStderr();
    logWarning() << "w" << std::endl;
    logError() << "e" << std::endl;
    EXPECT_EQ(testing::internal::GetCapturedStdout(), "");
    EXPECT_EQ(testing::internal::GetCapturedStderr(), "");
    setLogLevel(1);
}

TEST(UniqueId, CountsFromItsCurrentValue)
{
    const std::int32_t first = getNextUniqueId(0);
    EXPECT_EQ(getNextUniqueId(0), first + 1);
    EXPECT_EQ(getNextUniqueId(1000), first + 1002);
    EXPECT_EQ(getNextUniqueId(), first + 1003);
}

TEST(DcUtils, CaseConversionTouchesOnlyLetters)
{
    EXPECT_EQ(DC::toLower("AbC"), "abc");
    EXPECT_EQ(DC::toLower("Exif\x01\xC3"), "exif\x01\xC3");
    EXPECT_EQ(DC::toUpper("hvc1"), "HVC1");
    const DC::Exception e("/tmp/x", "CAN NOT OPEN FILE");
    EXPECT_EQ(e.getSubject(), "/tmp/x");
    EXPECT_EQ(e.getMessage(), "CAN NOT OPEN FILE");
}
