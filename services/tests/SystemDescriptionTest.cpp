#include "SystemDescription.h"

#include <QTemporaryDir>

#include <gtest/gtest.h>

#include "QtPrinters.h"
#include "TestFiles.h"

namespace pravix
{
namespace
{

class SystemDescriptionTest : public testing::Test
{
protected:
    QString write(const QString& name, const QByteArray& bytes) { return test::writeTestFile(dir, name, bytes); }

    QTemporaryDir dir;
};

TEST_F(SystemDescriptionTest, CpuModelIsTheFirstModelNameLine)
{
    const QString path = write("cpuinfo",
                               "processor\t: 0\n"
                               "vendor_id\t: GenuineIntel\n"
                               "model\t\t: 142\n"
                               "model name\t: Intel(R) Core(TM) i5-8250U CPU @ 1.60GHz\n"
                               "\n"
                               "processor\t: 1\n"
                               "model name\t: Second Processor\n");
    EXPECT_EQ(cpuModelOf(path), "Intel(R) Core(TM) i5-8250U CPU @ 1.60GHz");
}

TEST_F(SystemDescriptionTest, CpuModelIsEmptyWithoutTheLineOrTheFile)
{
    // An ARM machine's cpuinfo names no model.
    EXPECT_EQ(cpuModelOf(write("arm", "processor\t: 0\nBogoMIPS\t: 108.00\nCPU implementer\t: 0x41\n")), "");
    EXPECT_EQ(cpuModelOf(write("empty", "")), "");
    EXPECT_EQ(cpuModelOf(write("nocolon", "model name Intel\n")), "");
    EXPECT_EQ(cpuModelOf(dir.filePath("missing")), "");
}

TEST_F(SystemDescriptionTest, SysVersionIsMacAndTheVersionId)
{
    EXPECT_EQ(sysVersionOf({write("debian", "PRETTY_NAME=\"Debian GNU/Linux 12 (bookworm)\"\n"
                                            "NAME=\"Debian GNU/Linux\"\nVERSION_ID=\"12\"\nID=debian\n")}),
              "Mac-12");
    EXPECT_EQ(sysVersionOf({write("bare", "ID=fedora\nVERSION_ID=40\n")}), "Mac-40");
    EXPECT_EQ(sysVersionOf({write("single", "VERSION_ID='22.04'\n")}), "Mac-22.04");
    EXPECT_EQ(sysVersionOf({write("escaped", "VERSION_ID=\"1\\\"2\" # comment\n")}), "Mac-1\"2");
}

TEST_F(SystemDescriptionTest, SysVersionIsMacWhenUnknown)
{
    // Debian testing names no VERSION_ID; the first file that exists is the system's word.
    const QString testing = write("testing", "PRETTY_NAME=\"Debian GNU/Linux trixie/sid\"\nID=debian\n");
    const QString other = write("other", "VERSION_ID=\"12\"\n");
    EXPECT_EQ(sysVersionOf({testing, other}), "Mac");
    EXPECT_EQ(sysVersionOf({write("emptyvalue", "VERSION_ID=\n")}), "Mac");
    EXPECT_EQ(sysVersionOf({dir.filePath("missing")}), "Mac");
    EXPECT_EQ(sysVersionOf({}), "Mac");
}

TEST_F(SystemDescriptionTest, SysVersionFallsBackToTheSecondFile)
{
    EXPECT_EQ(sysVersionOf({dir.filePath("etc-os-release"), write("usr-lib-os-release", "VERSION_ID=\"11\"\n")}),
              "Mac-11");
    EXPECT_EQ(defaultOsReleasePaths(), QStringList({"/etc/os-release", "/usr/lib/os-release"}));
}

TEST(OsReleaseValue, KeyMustMatchWholly)
{
    EXPECT_EQ(osReleaseValue("XVERSION_ID=1\nVERSION_ID_LIKE=2\nVERSION_ID=3\n", "VERSION_ID"), "3");
    EXPECT_EQ(osReleaseValue("  VERSION_ID=\"7\"  \r\n", "VERSION_ID"), "7");
    EXPECT_EQ(osReleaseValue("VERSION_ID=\"unterminated\n", "VERSION_ID"), "unterminated");
    EXPECT_EQ(osReleaseValue("ID=debian\n", "VERSION_ID"), "");
}

}  // namespace
}  // namespace pravix
