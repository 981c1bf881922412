#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>

#include "CurrentTestFolder.h"

namespace fs = std::filesystem;
using testsupport::TemporaryFolder;

TEST(CurrentTestFolder, PathsOfOneTestShareAFolderNamedAfterIt)
{
    const fs::path first = testsupport::CurrentTestFolder::path("a.bin");
    const fs::path second = testsupport::CurrentTestFolder::path("b.bin");
    EXPECT_EQ(first.parent_path(), second.parent_path());
    EXPECT_EQ(first.parent_path().parent_path(), TemporaryFolder::base());
    EXPECT_EQ(first.parent_path().filename().string().rfind(
                  "pravix-CurrentTestFolder-PathsOfOneTestShareAFolderNamedAfterIt-", 0),
              0u);
    std::ofstream(first) << "x";
    EXPECT_TRUE(fs::exists(first));

    testsupport::CurrentTestFolder::release();
    EXPECT_FALSE(fs::exists(first.parent_path()));
    const fs::path again = testsupport::CurrentTestFolder::path("a.bin");
    EXPECT_TRUE(fs::is_directory(again.parent_path()));
    EXPECT_NE(again.parent_path(), first.parent_path());
}

class CurrentTestFolderNames : public testing::TestWithParam<int>
{
};

TEST_P(CurrentTestFolderNames, ParameterisedNamesMakeOneFolder)
{
    const fs::path file = testsupport::CurrentTestFolder::path("a.bin");
    EXPECT_EQ(file.parent_path().parent_path(), TemporaryFolder::base());
    EXPECT_TRUE(fs::is_directory(file.parent_path()));
}

INSTANTIATE_TEST_SUITE_P(Some, CurrentTestFolderNames, testing::Values(1, 2));
