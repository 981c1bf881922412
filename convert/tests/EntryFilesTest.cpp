// One entry against the file system as a user meets it: special files named like photos and
// unreadable sources.
#include "ConvertEntry.h"
#include "HeicExif.h"
#include "PermissionsEnforced.h"
#include "SafeHEICLoader.h"
#include "SpecialFiles.h"
#include "TempFolder.h"

#include <gtest/gtest.h>


using namespace pravix;
using namespace converttest;
using testsupport::returnsWithoutBlocking;
namespace fs = std::filesystem;

namespace
{

class EntryFilesTest : public testing::Test
{
protected:
    void SetUp() override
    {
        fs::create_directories(folder.path() / "in");
        options.cachePath = folder / "cache";
        options.savePath = folder / "out";
    }

    // A copy of a fixture as "in/<name>.heic", the entry the list makes for it.
    EntryPaths photo(const std::string& name, const std::string& fixture = "single.heic")
    {
        fs::copy_file(platformFixture(fixture), folder.path() / "in" / (name + ".heic"));
        return entryFor(name);
    }
    EntryPaths entryFor(const std::string& name) const
    {
        return EntryPaths{folder / ("in/" + name + ".heic"), folder / "in", name};
    }
    // Converts with the log captured into `log`.
    EntryOutcome convert(const EntryPaths& entry, const ExifHooks& exif = defaultExifHooks())
    {
        testing::internal::CaptureStdout();
        EntryOutcome outcome = convertEntry(entry, options, exif);
        log = testing::internal::GetCapturedStdout();
        return outcome;
    }
    bool logged(const std::string& line) const { return log.find(line) != std::string::npos; }

    TempFolder folder;
    ConversionOptions options;
    std::string log;
};

}  // namespace

// A FIFO, a socket or a device under a photo's name fails at once with the cause in the log, with
// and without Exif; nothing is written.
TEST_F(EntryFilesTest, SpecialFilesFailAtOnceNamingTheCause)
{
    ASSERT_TRUE(testsupport::makeFifo(folder / "in/fifo.heic"));
    ASSERT_TRUE(testsupport::makeSocket(folder / "in/socket.heic"));
    fs::create_symlink("/dev/zero", folder.path() / "in" / "device.heic");
    const std::pair<const char*, const char*> cases[] = {
        {"fifo", "FIFO"}, {"socket", "socket"}, {"device", "character device"}};
    for (const bool exif : {false, true})
    {
        options.bExif = exif;
        for (const auto& [name, kind] : cases)
        {
            SCOPED_TRACE(std::string(name) + (exif ? " with Exif" : ""));
            const EntryPaths entry = entryFor(name);
            EntryOutcome outcome;
            EXPECT_TRUE(returnsWithoutBlocking([&] { outcome = convert(entry); }, {entry.heicPath}));
            EXPECT_FALSE(outcome.converted);
            EXPECT_EQ(outcome.errorKey, "ConversionFailure");
            EXPECT_TRUE(logged("【日志】无法读取源文件[" + entry.heicPath + "]: not a regular file (" + kind + ")"))
                << log;
        }
    }
    EXPECT_TRUE(namesIn(folder.path() / "out").empty());
}

// The Exif module and the loaders' other ways into a file do not wait on a FIFO either.
TEST_F(EntryFilesTest, ExifModuleAndLoadersDoNotWaitOnAFifo)
{
    const std::string fifo = folder / "in/fifo.heic";
    ASSERT_TRUE(testsupport::makeFifo(fifo));
    const ExifDataPtr tree = CreateExifDataFromHeicFile(platformFixture("exif.heic").c_str());
    ASSERT_TRUE(tree);
    EXPECT_TRUE(returnsWithoutBlocking(
        [&] { EXPECT_EQ(JpgAddExif(fifo.c_str(), (folder / "spliced.jpg").c_str(), tree.get()), 0); }, {fifo}));
    EXPECT_FALSE(fs::exists(folder.path() / "spliced.jpg"));
    EXPECT_TRUE(returnsWithoutBlocking([&] { EXPECT_FALSE(CreateExifDataFromHeicFile(fifo.c_str())); }, {fifo}));
    EXPECT_TRUE(returnsWithoutBlocking([&] { EXPECT_FALSE(SafeHEICLoader::loadHEICImageFromPath(fifo)); }, {fifo}));
    EXPECT_TRUE(returnsWithoutBlocking([&] { EXPECT_FALSE(SafeHEICLoader::getHEICMetadataFromPath(fifo)); }, {fifo}));
    EXPECT_TRUE(returnsWithoutBlocking([&] { EXPECT_FALSE(SafeHEICLoader::loadHEICWithImageIOFromPath(fifo)); }, {fifo}));
}

// A source the user may not read fails with a log line that says so and names the file.
TEST_F(EntryFilesTest, UnreadableSourceSaysSo)
{
    const EntryPaths entry = photo("locked");
    fs::permissions(entry.heicPath, fs::perms::owner_write);
    testsupport::PermissionsEnforced enforced;
    if (!enforced.active())
    {
        GTEST_SKIP() << "permissions cannot be made to count here";
    }
    const EntryOutcome outcome = convert(entry);
    EXPECT_EQ(outcome.errorKey, "ConversionFailure");
    EXPECT_TRUE(logged("【日志】无法读取源文件[" + entry.heicPath + "]: permission denied")) << log;
}
