// How outputs reach the disk: whole or not at all, with the user's umask, and with the Exif block
// kept when the cache folder cannot take the temporary file.
#include "AtomicFileWriter.h"
#include "ConvertEntry.h"
#include "FolderPermissionChecker.h"
#include "HeicExif.h"
#include "RenameWithoutReplacing.h"
#include "SmallTmpfs.h"
#include "TempFolder.h"

#include <gtest/gtest.h>

#include <cerrno>
#include <csignal>
#include <sys/resource.h>
#include <sys/stat.h>

using namespace pravix;
using namespace converttest;
namespace fs = std::filesystem;

namespace
{

// Sets the process umask for one test and puts the old one back.
class UmaskScope
{
public:
    explicit UmaskScope(mode_t mask) : mOld(::umask(mask)) {}
    ~UmaskScope() { ::umask(mOld); }

private:
    mode_t mOld;
};

// Lets files grow to `bytes` at most, as a nearly full disk would.
class FileSizeLimit
{
public:
    explicit FileSizeLimit(rlim_t bytes)
    {
        std::signal(SIGXFSZ, SIG_IGN);
        getrlimit(RLIMIT_FSIZE, &mOld);
        rlimit small = mOld;
        small.rlim_cur = bytes;
        mSet = setrlimit(RLIMIT_FSIZE, &small) == 0;
    }
    ~FileSizeLimit() { setrlimit(RLIMIT_FSIZE, &mOld); }
    bool set() const { return mSet; }

private:
    rlimit mOld{};
    bool mSet = false;
};

mode_t modeOf(const std::string& path)
{
    struct stat info{};
    return ::stat(path.c_str(), &info) == 0 ? (info.st_mode & 07777) : 0;
}

EntryPaths copiedEntry(const TempFolder& folder, const std::string& fixture, const std::string& name)
{
    fs::create_directories(folder.path() / "in");
    fs::copy_file(fixture, folder.path() / "in" / (name + ".heic"));
    return EntryPaths{folder / ("in/" + name + ".heic"), folder / "in", name};
}

}  // namespace

// A splice whose write fails halfway (here: the disk fills up) leaves the file that was under the
// output name as it was, and no temporary file beside it.
TEST(OutputFilesTest, SpliceThatCannotFinishKeepsTheOldFile)
{
    TempFolder folder;
    const ExifDataPtr exif = CreateExifDataFromHeicFile(convertFixture("camera_mm.heic").c_str());
    ASSERT_TRUE(exif);
    const std::string input = folder / "in.jpg";
    const std::string output = folder / "out.jpg";
    fs::copy_file(convertFixture("plain.jpg"), input);
    const std::vector<uint8_t> old = {'o', 'l', 'd'};
    writeBytes(output, old);
    {
        FileSizeLimit limit(200);
        ASSERT_TRUE(limit.set());
        EXPECT_EQ(JpgAddExif(input.c_str(), output.c_str(), exif.get()), 0);
    }
    EXPECT_EQ(readBytes(output), old);
    EXPECT_EQ(namesIn(folder.path()), (std::vector<std::string>{"in.jpg", "out.jpg"}));

    // With room the output is replaced whole.
    ASSERT_EQ(JpgAddExif(input.c_str(), output.c_str(), exif.get()), 1);
    EXPECT_TRUE(startsWithExifSegment(readBytes(output)));
    EXPECT_EQ(namesIn(folder.path()), (std::vector<std::string>{"in.jpg", "out.jpg"}));
}

// Every output gets 0666 less the umask, with Exif and without, whatever the umask.
TEST(OutputFilesTest, OutputsFollowTheUmask)
{
    for (const mode_t mask : {mode_t(027), mode_t(002), mode_t(077)})
    {
        SCOPED_TRACE(mask);
        UmaskScope scope(mask);
        TempFolder folder;
        ConversionOptions options;
        options.cachePath = folder / "cache";
        const EntryOutcome plain = convertEntry(copiedEntry(folder, platformFixture("single.heic"), "plain"), options);
        options.bExif = true;
        const EntryOutcome tagged = convertEntry(copiedEntry(folder, platformFixture("exif.heic"), "tagged"), options);
        options.saveSuff = "PNG";
        const EntryOutcome png = convertEntry(copiedEntry(folder, platformFixture("single.heic"), "png"), options);
        ASSERT_TRUE(plain.converted && tagged.converted && png.converted);
        ASSERT_TRUE(startsWithExifSegment(readBytes(tagged.toPath)));
        const mode_t expected = 0666 & ~mask;
        EXPECT_EQ(modeOf(plain.toPath), expected);
        EXPECT_EQ(modeOf(tagged.toPath), expected);
        EXPECT_EQ(modeOf(png.toPath), expected);

        std::string error;
        ASSERT_TRUE(writeFileAtomically(folder / "direct.bin", {1, 2, 3}, error));
        EXPECT_EQ(modeOf(folder / "direct.bin"), expected);
    }
}

// A cache folder that was never set, or cannot take a file, no longer costs the photo its Exif: the
// temporary file goes beside the output (and is gone afterwards), and the log says why.
TEST(OutputFilesTest, UnusableCacheFolderKeepsTheExif)
{
    for (const std::string& cache : {std::string(), std::string("/proc/self"), std::string("/proc/pravix-no-cache")})
    {
        SCOPED_TRACE(cache);
        TempFolder folder;
        ConversionOptions options;
        options.bExif = true;
        options.cachePath = cache;
        options.savePath = folder / "out";
        testing::internal::CaptureStdout();
        const EntryOutcome outcome = convertEntry(copiedEntry(folder, platformFixture("exif.heic"), "tagged"), options);
        const std::string log = testing::internal::GetCapturedStdout();
        ASSERT_TRUE(outcome.converted) << outcome.errorKey;
        EXPECT_TRUE(startsWithExifSegment(readBytes(outcome.toPath)));
        EXPECT_NE(log.find("【日志】缓存文件夹不可用[" + cache + "]"), std::string::npos) << log;
        EXPECT_EQ(log.find("添加dExif失败"), std::string::npos) << log;
        EXPECT_EQ(namesIn(folder.path() / "out"), std::vector<std::string>{"tagged.JPG"});
    }
}

// A usable cache folder is used without a word and left empty.
TEST(OutputFilesTest, UsableCacheFolderIsQuietAndLeftEmpty)
{
    TempFolder folder;
    ConversionOptions options;
    options.bExif = true;
    options.cachePath = folder / "cache";
    options.savePath = folder / "out";
    testing::internal::CaptureStdout();
    const EntryOutcome outcome = convertEntry(copiedEntry(folder, platformFixture("exif.heic"), "tagged"), options);
    const std::string log = testing::internal::GetCapturedStdout();
    ASSERT_TRUE(outcome.converted);
    EXPECT_EQ(log.find("缓存文件夹不可用"), std::string::npos) << log;
    EXPECT_TRUE(fs::is_directory(folder.path() / "cache"));
    EXPECT_TRUE(namesIn(folder.path() / "cache").empty());
    EXPECT_EQ(namesIn(folder.path() / "out"), std::vector<std::string>{"tagged.JPG"});
}

TEST(AtomicFileWriterTest, WholeOrNothing)
{
    TempFolder folder;
    const std::string target = folder / "file.bin";
    writeBytes(target, {9});
    {
        // Dropped before commit: the old file stays and the temporary file goes.
        AtomicFileWriter writer(target);
        ASSERT_TRUE(writer.open());
        ASSERT_TRUE(writer.write("abc", 3));
        EXPECT_EQ(namesIn(folder.path()).size(), 2u);
    }
    EXPECT_EQ(readBytes(target), std::vector<uint8_t>{9});
    EXPECT_EQ(namesIn(folder.path()), std::vector<std::string>{"file.bin"});

    AtomicFileWriter writer(target);
    ASSERT_TRUE(writer.open());
    ASSERT_TRUE(writer.write("ab", 2));
    ASSERT_TRUE(writer.write("c", 1));
    ASSERT_TRUE(writer.commit());
    EXPECT_EQ(readBytes(target), (std::vector<uint8_t>{'a', 'b', 'c'}));
    EXPECT_FALSE(writer.commit());  // once only
    EXPECT_EQ(namesIn(folder.path()), std::vector<std::string>{"file.bin"});
}

// Renaming over something that is not a regular file would replace that node: refused untouched.
TEST(AtomicFileWriterTest, RefusesWhatIsNotARegularFile)
{
    TempFolder folder;
    fs::create_directories(folder.path() / "sub");
    fs::create_symlink(folder / "elsewhere", folder.path() / "link");
    for (const std::string& target : {std::string("/dev/null"), folder / "sub", folder / "link", std::string()})
    {
        SCOPED_TRACE(target);
        AtomicFileWriter writer(target);
        EXPECT_FALSE(writer.open());
        EXPECT_FALSE(writer.error().empty());
        EXPECT_FALSE(writer.write("x", 1));
        EXPECT_FALSE(writer.commit());
    }
    EXPECT_TRUE(fs::is_character_file("/dev/null"));
    EXPECT_TRUE(fs::is_symlink(folder.path() / "link"));
    EXPECT_EQ(namesIn(folder.path()), (std::vector<std::string>{"link", "sub"}));
    // A folder that does not take files.
    AtomicFileWriter writer("/proc/self/pravix.bin");
    EXPECT_FALSE(writer.open());
    EXPECT_FALSE(writer.error().empty());
}

// Existing::Keep: a file at the target when the commit comes is never replaced; the written file
// waits for another name.
TEST(AtomicFileWriterTest, KeepNeverReplaces)
{
    TempFolder folder;
    const std::string target = folder / "photo.JPG";
    AtomicFileWriter writer(target, true, AtomicFileWriter::Existing::Keep);
    ASSERT_TRUE(writer.open());
    ASSERT_TRUE(writer.write("new", 3));
    writeBytes(target, {'o', 'l', 'd'});  // appears meanwhile
    EXPECT_FALSE(writer.commit());
    EXPECT_TRUE(writer.targetTaken());
    EXPECT_EQ(writer.errorNumber(), EEXIST);
    EXPECT_EQ(readBytes(target), (std::vector<uint8_t>{'o', 'l', 'd'}));
    EXPECT_EQ(namesIn(folder.path()).size(), 2u);  // the written file waits

    // A dangling link takes a name as well.
    fs::create_symlink(folder / "nowhere", folder.path() / "photo(1).JPG");
    EXPECT_FALSE(writer.commitAs(folder / "photo(1).JPG"));
    EXPECT_TRUE(writer.targetTaken());
    EXPECT_TRUE(fs::is_symlink(folder.path() / "photo(1).JPG"));

    ASSERT_TRUE(writer.commitAs(folder / "photo(2).JPG"));
    EXPECT_FALSE(writer.targetTaken());
    EXPECT_EQ(writer.path(), folder / "photo(2).JPG");
    EXPECT_EQ(readBytes(folder / "photo(2).JPG"), (std::vector<uint8_t>{'n', 'e', 'w'}));
    EXPECT_EQ(namesIn(folder.path()), (std::vector<std::string>{"photo(1).JPG", "photo(2).JPG", "photo.JPG"}));
    EXPECT_FALSE(writer.commitAs(folder / "photo(3).JPG"));  // once only

    // Dropped while waiting for a name: nothing of it stays.
    {
        AtomicFileWriter dropped(target, true, AtomicFileWriter::Existing::Keep);
        ASSERT_TRUE(dropped.open() && dropped.write("x", 1));
        EXPECT_FALSE(dropped.commit());
    }
    EXPECT_EQ(namesIn(folder.path()).size(), 3u);
}

TEST(RenameWithoutReplacingTest, TakenNamesAreLeftAlone)
{
    TempFolder folder;
    for (const auto rename : {&renameWithoutReplacing, &linkThenUnlink})
    {
        SCOPED_TRACE(rename == &linkThenUnlink ? "link" : "rename");
        writeBytes(folder / "from", {1});
        writeBytes(folder / "taken", {2});
        EXPECT_EQ(rename(folder / "from", folder / "taken"), EEXIST);
        EXPECT_EQ(readBytes(folder / "from"), std::vector<uint8_t>{1});
        EXPECT_EQ(readBytes(folder / "taken"), std::vector<uint8_t>{2});
        EXPECT_EQ(rename(folder / "from", folder / "free"), 0);
        EXPECT_FALSE(fs::exists(folder.path() / "from"));
        EXPECT_EQ(readBytes(folder / "free"), std::vector<uint8_t>{1});
        EXPECT_EQ(rename(folder / "from", folder / "again"), ENOENT);
        EXPECT_EQ(rename(folder / "free", folder / "no/such/folder"), ENOENT);
        EXPECT_EQ(namesIn(folder.path()), (std::vector<std::string>{"free", "taken"}));
        fs::remove(folder.path() / "free");
        fs::remove(folder.path() / "taken");
    }
}

// The probe tells a full disk from a folder that refuses files.
TEST(FolderProbeTest, FullIsNotReadOnly)
{
    TempFolder folder;
    EXPECT_EQ(FolderPermissionChecker::probeFolderAtPath(folder.path()).verdict, FolderWriteProbe::Verdict::Writable);
    EXPECT_EQ(FolderPermissionChecker::probeFolderAtPath(folder / "missing").verdict,
              FolderWriteProbe::Verdict::Writable);
    const FolderWriteProbe proc = FolderPermissionChecker::probeFolderAtPath("/proc/self");
    EXPECT_EQ(proc.verdict, FolderWriteProbe::Verdict::ReadOnly);
    EXPECT_FALSE(proc.reason.empty());
    EXPECT_TRUE(namesIn(folder.path()).empty());

    testsupport::SmallTmpfs disk(folder / "disk", "size=16k");
    if (!disk.mounted())
    {
        GTEST_SKIP() << "cannot mount a small file system here";
    }
    writeBytes(disk.folder() + "/filler", std::vector<uint8_t>(16 * 1024, 'f'));
    ASSERT_EQ(fs::file_size(disk.folder() + "/filler"), 16u * 1024);
    const FolderWriteProbe full = FolderPermissionChecker::probeFolderAtPath(disk.folder());
    EXPECT_EQ(full.verdict, FolderWriteProbe::Verdict::Full);
    EXPECT_EQ(full.reason, "No space left on device");
    EXPECT_FALSE(FolderPermissionChecker::isFolderReadOnlyAtPath(disk.folder()));
    EXPECT_EQ(namesIn(disk.folder()), std::vector<std::string>{"filler"});
}
