#include "TemporaryFolder.h"
#include "FileReadBuffer.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <istream>
#include <random>
#include <unistd.h>

using namespace pravix;
namespace fs = std::filesystem;

namespace
{

class FileReadBufferTest : public ::testing::Test
{
protected:
    void SetUp() override
    {
        bytes.resize(300001);
        std::mt19937 random(3);
        for (uint8_t& b : bytes)
        {
            b = static_cast<uint8_t>(random());
        }
        std::ofstream(folder / "data.bin", std::ios::binary)
            .write(reinterpret_cast<const char*>(bytes.data()), static_cast<std::streamsize>(bytes.size()));
    }

    // Removed with everything the test wrote when the test ends.
    const testsupport::TemporaryFolder mFolder{"pravix-readbuffer"};
    const fs::path folder = mFolder.path();
    std::vector<uint8_t> bytes;
};

}  // namespace

// Through an input stream, as the reader uses it: reads of every size at positions all over the file,
// inside and outside the window, give the file's bytes; the position and the end are told right.
TEST_F(FileReadBufferTest, ReadsWhatIsThereWhereverItSeeks)
{
    auto buffer = FileReadBuffer::open((folder / "data.bin").string());
    ASSERT_TRUE(buffer);
    std::istream in(buffer.get());
    in.seekg(0, std::ios::end);
    EXPECT_EQ(in.tellg(), std::streampos(bytes.size()));
    std::mt19937 random(7);
    for (int i = 0; i < 2000; ++i)
    {
        const size_t at = random() % bytes.size();
        const size_t sizes[] = {1, 7, 4096, 70000, 200000};
        const size_t want = sizes[random() % 5];
        in.clear();
        in.seekg(static_cast<std::streamoff>(at));
        ASSERT_EQ(in.tellg(), std::streampos(at));
        std::vector<uint8_t> got(want);
        in.read(reinterpret_cast<char*>(got.data()), static_cast<std::streamsize>(want));
        const size_t expected = std::min(want, bytes.size() - at);
        ASSERT_EQ(static_cast<size_t>(in.gcount()), expected) << at << " " << want;
        ASSERT_TRUE(std::equal(got.begin(), got.begin() + static_cast<long>(expected),
                               bytes.begin() + static_cast<long>(at)))
            << at << " " << want;
        EXPECT_EQ(in.eof(), want > expected);
        if (!in.eof())
        {
            EXPECT_EQ(in.tellg(), std::streampos(at + want));
        }
    }
    // Byte by byte across the window's edge.
    in.clear();
    in.seekg(65530);
    for (size_t k = 65530; k < 65560; ++k)
    {
        EXPECT_EQ(in.get(), bytes[k]);
    }
    in.clear();
    EXPECT_FALSE(in.seekg(static_cast<std::streamoff>(bytes.size() + 1)));
}

TEST_F(FileReadBufferTest, OnlyRegularFilesOpen)
{
    EXPECT_FALSE(FileReadBuffer::open((folder / "missing.bin").string()));
    EXPECT_FALSE(FileReadBuffer::open(folder.string()));
}
