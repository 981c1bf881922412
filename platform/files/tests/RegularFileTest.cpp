// Opening what the user names as a photo: regular files only, never waiting on a FIFO or a device,
// and a reason for the log for everything refused.
#include "TemporaryFolder.h"
#include "FileReadBuffer.h"
#include "HeicImageSource.h"
#include "PermissionsEnforced.h"
#include "RegularFile.h"
#include "SpecialFiles.h"

#include <gtest/gtest.h>

#include <fcntl.h>
#include <filesystem>
#include <fstream>
#include <unistd.h>

using namespace pravix;
using testsupport::returnsWithoutBlocking;
namespace fs = std::filesystem;

namespace
{

class RegularFileTest : public ::testing::Test
{
protected:
    void SetUp() override
    {
        std::ofstream(folder / "photo.heic", std::ios::binary) << "0123456789";
        std::ofstream(folder / "empty.heic", std::ios::binary);
    }
    std::string path(const std::string& name) const { return (folder / name).string(); }

    // The reason RegularFile::open gives for `name`, checked to come without blocking.
    std::string refusal(const std::string& name)
    {
        std::string why;
        bool opened = true;
        EXPECT_TRUE(returnsWithoutBlocking([&] { opened = RegularFile::open(path(name), &why).has_value(); },
                                           {path(name)}));
        EXPECT_FALSE(opened);
        return why;
    }

    // Removed with everything the test wrote when the test ends.
    const testsupport::TemporaryFolder mFolder{"pravix-regularfile"};
    const fs::path folder = mFolder.path();
};

}  // namespace

TEST_F(RegularFileTest, OpensARegularFileBlocking)
{
    std::optional<RegularFile> file = RegularFile::open(path("photo.heic"));
    ASSERT_TRUE(file);
    EXPECT_EQ(file->size(), 10u);
    const int flags = fcntl(file->descriptor(), F_GETFL);
    ASSERT_GE(flags, 0);
    EXPECT_EQ(flags & O_NONBLOCK, 0);
    EXPECT_NE(fcntl(file->descriptor(), F_GETFD) & FD_CLOEXEC, 0);

    // Moved, the descriptor goes along; released, the caller owns it.
    RegularFile moved = std::move(*file);
    const int fd = moved.release();
    EXPECT_EQ(moved.descriptor(), -1);
    char first = 0;
    EXPECT_EQ(pread(fd, &first, 1, 0), 1);
    EXPECT_EQ(first, '0');
    close(fd);

    // Through a link to it, too.
    fs::create_symlink(path("photo.heic"), folder / "link.heic");
    EXPECT_TRUE(RegularFile::open(path("link.heic")));
}

// A FIFO, a socket, a device and a folder under a photo's name are refused at once, saying what they are.
TEST_F(RegularFileTest, RefusesWhatIsNotARegularFile)
{
    ASSERT_TRUE(testsupport::makeFifo(path("fifo.heic")));
    ASSERT_TRUE(testsupport::makeSocket(path("socket.heic")));
    fs::create_symlink("/dev/zero", folder / "device.heic");
    fs::create_directories(folder / "folder.heic");
    EXPECT_EQ(refusal("fifo.heic"), "not a regular file (FIFO)");
    EXPECT_EQ(refusal("socket.heic"), "not a regular file (socket)");
    EXPECT_EQ(refusal("device.heic"), "not a regular file (character device)");
    EXPECT_EQ(refusal("folder.heic"), "not a regular file (folder)");
    EXPECT_EQ(refusal("missing.heic"), "no such file");
    EXPECT_EQ(refusal("photo.heic/below"), "no such file");
    fs::create_symlink(folder / "nowhere", folder / "dangling.heic");
    EXPECT_EQ(refusal("dangling.heic"), "no such file");

    // The readers built on it: the window over the file and the image source.
    std::string why;
    EXPECT_TRUE(returnsWithoutBlocking([&] { EXPECT_FALSE(FileReadBuffer::open(path("fifo.heic"), &why)); },
                                       {path("fifo.heic")}));
    EXPECT_EQ(why, "not a regular file (FIFO)");
    EXPECT_TRUE(returnsWithoutBlocking([&] { EXPECT_FALSE(HeicImageSource::createWithFile(path("fifo.heic"), &why)); },
                                       {path("fifo.heic")}));
    EXPECT_EQ(why, "not a regular file (FIFO)");
    EXPECT_FALSE(HeicImageSource::createWithFile(path("device.heic"), &why));
    EXPECT_EQ(why, "not a regular file (character device)");
}

TEST_F(RegularFileTest, UnreadableFileSaysPermissionDenied)
{
    fs::permissions(folder / "photo.heic", fs::perms::owner_write);
    testsupport::PermissionsEnforced enforced;
    if (!enforced.active())
    {
        GTEST_SKIP() << "permissions cannot be made to count here";
    }
    std::string why;
    EXPECT_FALSE(RegularFile::open(path("photo.heic"), &why));
    EXPECT_EQ(why, "permission denied");
    EXPECT_FALSE(FileReadBuffer::open(path("photo.heic"), &why));
    EXPECT_EQ(why, "permission denied");
}
