#include "FileBytes.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <unistd.h>

using namespace pravix;
namespace fs = std::filesystem;

// A file comes back byte for byte; an empty file as no bytes; a folder, a missing file or an unreadable
// one as a failure with nothing kept.
TEST(FileBytesTest, ReadsWholeFilesAndRefusesTheRest)
{
    const fs::path folder = fs::temp_directory_path() / ("pravix-filebytes-" + std::to_string(getpid()));
    fs::create_directories(folder);
    std::vector<uint8_t> written(300000);
    for (size_t i = 0; i < written.size(); ++i)
    {
        written[i] = static_cast<uint8_t>(i * 7 + i / 256);
    }
    std::ofstream(folder / "data.bin", std::ios::binary)
        .write(reinterpret_cast<const char*>(written.data()), static_cast<std::streamsize>(written.size()));
    std::ofstream(folder / "empty.bin").close();

    std::vector<uint8_t> read = {1, 2, 3};
    ASSERT_TRUE(readWholeFile((folder / "data.bin").string(), read));
    EXPECT_EQ(read, written);
    ASSERT_TRUE(readWholeFile((folder / "empty.bin").string(), read));
    EXPECT_TRUE(read.empty());

    read = {1};
    EXPECT_FALSE(readWholeFile((folder / "missing.bin").string(), read));
    EXPECT_TRUE(read.empty());
    read = {1};
    EXPECT_FALSE(readWholeFile(folder.string(), read));
    EXPECT_TRUE(read.empty());
    if (geteuid() != 0)  // root reads whatever the mode says
    {
        fs::permissions(folder / "data.bin", fs::perms::none);
        EXPECT_FALSE(readWholeFile((folder / "data.bin").string(), read));
    }
    fs::remove_all(folder);
}
