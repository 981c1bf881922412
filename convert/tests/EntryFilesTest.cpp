// One entry against the file system as a user meets it: special files named like photos, unreadable
// sources, output names taken while the output is written, names as long as the file system takes,
// a full disk and a read-only one.
#include "ConvertEntry.h"
#include "FolderPermissionChecker.h"
#include "HeicExif.h"
#include "PermissionsEnforced.h"
#include "SafeHEICLoader.h"
#include "SmallTmpfs.h"
#include "SpecialFiles.h"
#include "TempFolder.h"

#include <gtest/gtest.h>

#include <atomic>
#include <condition_variable>
#include <cstdio>
#include <mutex>
#include <set>
#include <thread>

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

// The real Exif module, with `before` run between the choice of the output name and its splice.
ExifHooks spliceAfter(std::function<void()> before, int answer = -1)
{
    ExifHooks hooks = defaultExifHooks();
    const auto splice = hooks.splice;
    hooks.splice = [before, splice, answer](const char* in, const char* out, ExifData* exif)
    {
        before();
        return answer >= 0 ? answer : splice(in, out, exif);
    };
    return hooks;
}

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

// Another program takes the chosen name while the photo is being written: its file stays as it was and
// the photo takes the next free name, with its Exif block; also when the splice fails and the photo is
// written without Exif, and when the next name is taken as well.
TEST_F(EntryFilesTest, NameTakenWhileWritingIsNotReplaced)
{
    options.bExif = true;
    const std::string out = folder / "out";
    const EntryPaths entry = photo("photo", "exif.heic");
    const std::vector<uint8_t> theirs = {'t', 'h', 'e', 'i', 'r', 's'};

    EntryOutcome outcome = convert(entry, spliceAfter([&] { writeBytes(out + "/photo.JPG", theirs); }));
    ASSERT_TRUE(outcome.converted) << log;
    EXPECT_EQ(outcome.toPath, out + "/photo(1).JPG");
    EXPECT_EQ(readBytes(out + "/photo.JPG"), theirs);
    EXPECT_TRUE(startsWithExifSegment(readBytes(outcome.toPath)));
    EXPECT_EQ(namesIn(out), (std::vector<std::string>{"photo(1).JPG", "photo.JPG"}));

    fs::remove_all(out);
    outcome = convert(entry, spliceAfter([&] { writeBytes(out + "/photo.JPG", theirs); }, 0));
    ASSERT_TRUE(outcome.converted) << log;
    EXPECT_TRUE(logged("【日志】添加dExif失败"));
    EXPECT_EQ(outcome.toPath, out + "/photo(1).JPG");
    EXPECT_EQ(readBytes(out + "/photo.JPG"), theirs);
    const std::vector<uint8_t> plain = readBytes(outcome.toPath);
    EXPECT_FALSE(startsWithExifSegment(plain));
    EXPECT_TRUE(plain.size() > 2 && plain[0] == 0xFF && plain[1] == 0xD8);
    EXPECT_EQ(namesIn(out), (std::vector<std::string>{"photo(1).JPG", "photo.JPG"}));

    fs::remove_all(out);
    outcome = convert(entry, spliceAfter(
                                 [&]
                                 {
                                     writeBytes(out + "/photo.JPG", theirs);
                                     writeBytes(out + "/photo(1).JPG", theirs);
                                 }));
    ASSERT_TRUE(outcome.converted) << log;
    EXPECT_EQ(outcome.toPath, out + "/photo(2).JPG");
    EXPECT_EQ(readBytes(out + "/photo(1).JPG"), theirs);
    EXPECT_EQ(namesIn(out), (std::vector<std::string>{"photo(1).JPG", "photo(2).JPG", "photo.JPG"}));
    EXPECT_TRUE(namesIn(folder.path() / "cache").empty());
}

// Conversions of photos of one name into one folder at the same time, as several copies of the
// program would run them: every one reports its own file and every file is there.
TEST_F(EntryFilesTest, ConversionsIntoOneFolderAtOnceKeepEveryOutput)
{
    constexpr int kAtOnce = 6;
    const EntryPaths entry = photo("photo", "exif.heic");
    for (const bool exif : {false, true})
    {
        SCOPED_TRACE(exif ? "with Exif" : "without Exif");
        options.bExif = exif;
        options.savePath = folder / (exif ? "out-exif" : "out");
        std::mutex mutex;
        std::condition_variable go;
        int ready = 0;
        std::vector<EntryOutcome> outcomes(kAtOnce);
        std::vector<std::thread> threads;
        for (int i = 0; i < kAtOnce; ++i)
        {
            threads.emplace_back(
                [&, i]
                {
                    {
                        std::unique_lock<std::mutex> lock(mutex);
                        ++ready;
                        go.notify_all();
                        go.wait(lock, [&] { return ready == kAtOnce; });
                    }
                    outcomes[i] = convertEntry(entry, options);
                });
        }
        for (std::thread& t : threads)
        {
            t.join();
        }
        std::set<std::string> reported;
        for (const EntryOutcome& outcome : outcomes)
        {
            ASSERT_TRUE(outcome.converted) << outcome.errorKey;
            reported.insert(fs::path(outcome.toPath).filename().string());
            EXPECT_EQ(startsWithExifSegment(readBytes(outcome.toPath)), exif);
        }
        EXPECT_EQ(reported.size(), size_t(kAtOnce));
        const std::vector<std::string> names = namesIn(*options.savePath);
        EXPECT_EQ(std::set<std::string>(names.begin(), names.end()), reported);
    }
}

// A name as long as the file system takes converts (the temporary names are short); one that cannot
// fit fails with a log line that says so, and nothing is written.
TEST_F(EntryFilesTest, LongNames)
{
    const std::string base = "IMG_" + std::string(246, 'x');  // 250 bytes; the source's name is 255
    const EntryPaths entry = photo(base, "exif.heic");
    const std::string out = folder / "out";
    const std::vector<std::pair<std::string, bool>> cases = {{"JPG", false}, {"JPG", true}, {"TIFF", false}};
    for (const auto& [suffix, exif] : cases)
    {
        SCOPED_TRACE(suffix + (exif ? " with Exif" : ""));
        options.saveSuff = suffix;
        options.bExif = exif;
        const EntryOutcome outcome = convert(entry);
        ASSERT_TRUE(outcome.converted) << log;
        EXPECT_EQ(outcome.toPath, out + "/" + base + "." + suffix);
        EXPECT_EQ(startsWithExifSegment(readBytes(outcome.toPath)), exif);
        fs::remove(outcome.toPath);
    }
    EXPECT_TRUE(namesIn(out).empty());

    options.saveSuff = "JPG";
    const std::string longest(255, 'y');
    EntryPaths tooLong = entry;
    tooLong.fileName = longest;
    EntryOutcome outcome = convert(tooLong);
    EXPECT_EQ(outcome.errorKey, "ConversionFailure");
    EXPECT_TRUE(logged("【日志】输出文件名太长[" + out + "/" + longest + ".JPG]: 259 bytes, the folder takes at most 255"))
        << log;
    EXPECT_TRUE(namesIn(out).empty());

    // Taken, the name's next free form "(1)" no longer fits.
    writeBytes(out + "/" + base + ".JPG", {'x'});
    outcome = convert(entry);
    EXPECT_EQ(outcome.errorKey, "ConversionFailure");
    EXPECT_TRUE(logged("【日志】输出文件名太长[" + out + "/" + base + "(1).JPG]: 257 bytes")) << log;
    EXPECT_EQ(namesIn(out), std::vector<std::string>{base + ".JPG"});
}

// A disk with no room is not a read-only folder: "ConversionFailure" and a log line saying the disk is
// full, whether the probe already finds no room or only the photo does not fit.
TEST_F(EntryFilesTest, FullDiskIsNotReadOnly)
{
    testsupport::SmallTmpfs disk(folder / "disk", "size=64k");
    if (!disk.mounted())
    {
        GTEST_SKIP() << "cannot mount a small file system here";
    }
    // Full to the last byte.
    {
        FILE* filler = std::fopen((disk.folder() + "/filler").c_str(), "wb");
        ASSERT_NE(filler, nullptr);
        const std::vector<char> block(4096, 'f');
        while (std::fwrite(block.data(), 1, block.size(), filler) == block.size() && std::fflush(filler) == 0)
        {
        }
        std::fclose(filler);
    }
    options.savePath = disk.folder();
    EXPECT_FALSE(FolderPermissionChecker::isFolderReadOnlyAtPath(disk.folder()));
    const EntryPaths entry = photo("photo");
    EntryOutcome outcome = convert(entry);
    EXPECT_EQ(outcome.errorKey, "ConversionFailure");
    EXPECT_TRUE(logged("【日志】磁盘已满，无法写入[" + disk.folder() + "]: No space left on device")) << log;
    EXPECT_EQ(namesIn(disk.folder()), std::vector<std::string>{"filler"});

    // Room for the probe, not for the photo (an uncompressed TIFF of 36 KB).
    fs::resize_file(disk.folder() + "/filler", 56 * 1024);
    options.saveSuff = "TIFF";
    outcome = convert(entry);
    EXPECT_EQ(outcome.errorKey, "ConversionFailure");
    EXPECT_TRUE(logged("【日志】磁盘已满，无法写入[" + disk.folder() + "]: No space left on device")) << log;
    EXPECT_EQ(namesIn(disk.folder()), std::vector<std::string>{"filler"});
}

// Folders that refuse files stay "FolderReadOnly": a read-only file system, and no write permission.
TEST_F(EntryFilesTest, FoldersThatRefuseFilesAreReadOnly)
{
    const EntryPaths entry = photo("photo");
    {
        testsupport::SmallTmpfs disk(folder / "readonly", "size=64k", true);
        if (disk.mounted())
        {
            options.savePath = disk.folder();
            EXPECT_EQ(convert(entry).errorKey, "FolderReadOnly");
        }
    }
    fs::create_directories(folder.path() / "locked");
    fs::permissions(folder.path() / "locked", fs::perms::owner_read | fs::perms::owner_exec);
    testsupport::PermissionsEnforced enforced;
    if (!enforced.active())
    {
        GTEST_SKIP() << "permissions cannot be made to count here";
    }
    options.savePath = folder / "locked";
    EXPECT_EQ(convert(entry).errorKey, "FolderReadOnly");
    EXPECT_TRUE(namesIn(folder.path() / "locked").empty());
}
