#include "VersionComparison.h"

#include <gtest/gtest.h>

#include <ostream>

namespace pravix
{
namespace
{

struct VersionCase
{
    const char* a;
    const char* b;
    bool newer;
};

// Names the case in test listings.
void PrintTo(const VersionCase& c, std::ostream* out)
{
    *out << '"' << c.a << (c.newer ? "\" newer than \"" : "\" not newer than \"") << c.b << '"';
}

class VersionComparisonTest : public testing::TestWithParam<VersionCase>
{
};

TEST_P(VersionComparisonTest, RecordAgainstRunningVersion)
{
    const VersionCase& c = GetParam();
    EXPECT_EQ(isVersionBiggerThanVersion(QString::fromUtf8(c.a), QString::fromUtf8(c.b)), c.newer)
        << c.a << " against " << c.b;
}

INSTANTIATE_TEST_SUITE_P(
    Table, VersionComparisonTest,
    testing::Values(VersionCase{"2.0", "1.9.9", true}, VersionCase{"1.9.9", "2.0", false},
                    VersionCase{"1.10", "1.9", true},  // parts are numbers, not texts
                    VersionCase{"1.9", "1.10", false}, VersionCase{"1.2", "1.2", false},
                    VersionCase{"1.2.0", "1.2", false}, VersionCase{"1.2.1", "1.2", true},
                    VersionCase{"1.2", "1.2.1", false}, VersionCase{"1.2.0.0.3", "1.2", true},
                    VersionCase{"1.2.5.-7", "1.2", false},  // the extra parts add up to less than 1
                    VersionCase{"abc", "1.0", false},       // no digits read as 0
                    VersionCase{"1.0", "abc", true}, VersionCase{"abc", "0", false},
                    VersionCase{"2beta", "1.9", true},  // leading digits count
                    VersionCase{"", "1.0", false}, VersionCase{"1..1", "1.0.0", true},
                    // A 30-digit part is held at the 32-bit maximum, and nothing throws.
                    VersionCase{"1.100000000000000000000000000000", "1.99", true},
                    VersionCase{"1.100000000000000000000000000000", "1.2147483647", false},
                    VersionCase{"1.2147483647.100000000000000000000000000000", "1.2147483647.2147483646", true},
                    VersionCase{"1.0.2147483647.2147483647", "1.0", true}));

}  // namespace
}  // namespace pravix
