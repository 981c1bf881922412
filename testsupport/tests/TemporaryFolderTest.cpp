#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <string>

#include "TemporaryFolder.h"

namespace fs = std::filesystem;
using testsupport::TemporaryFolder;

namespace
{
// Sets TMPDIR for the life of the object and puts back what was there.
class TmpdirSetting
{
public:
    explicit TmpdirSetting(const char* value)
    {
        if (const char* old = std::getenv("TMPDIR"))
        {
            mOld = old;
            mHadOld = true;
        }
        if (value != nullptr)
        {
            ::setenv("TMPDIR", value, 1);
        }
        else
        {
            ::unsetenv("TMPDIR");
        }
    }
    ~TmpdirSetting()
    {
        if (mHadOld)
        {
            ::setenv("TMPDIR", mOld.c_str(), 1);
        }
        else
        {
            ::unsetenv("TMPDIR");
        }
    }

private:
    std::string mOld;
    bool mHadOld = false;
};
}  // namespace

TEST(TemporaryFolder, IsMadeUnderTmpdirAndRemovedWithItsContents)
{
    TemporaryFolder outer("pravix-outer");
    fs::path made;
    {
        const TmpdirSetting setting(outer.path().c_str());
        TemporaryFolder folder("pravix-test");
        made = folder.path();
        EXPECT_EQ(made.parent_path(), outer.path());
        EXPECT_EQ(made.filename().string().rfind("pravix-test-", 0), 0u);
        ASSERT_TRUE(fs::is_directory(made));
        EXPECT_EQ(fs::status(made).permissions() & fs::perms::all, fs::perms::owner_all);

        fs::create_directories(made / "sub" / "deeper");
        std::ofstream(folder / "file.bin") << "x";
        std::ofstream(made / "sub" / "deeper" / "inner.txt") << "y";
        // A folder left read-only and unsearchable by its test goes too.
        fs::permissions(made / "sub", fs::perms::owner_read);
    }
    EXPECT_FALSE(fs::exists(made));
    EXPECT_TRUE(fs::is_empty(outer.path()));
}

TEST(TemporaryFolder, EachOneIsNew)
{
    TemporaryFolder first("pravix-same");
    TemporaryFolder second("pravix-same");
    EXPECT_NE(first.path(), second.path());
    EXPECT_TRUE(fs::is_empty(first.path()));
}

TEST(TemporaryFolder, FallsBackToTmpOnlyWithoutTmpdir)
{
    {
        const TmpdirSetting unset(nullptr);
        EXPECT_EQ(TemporaryFolder::base(), fs::path("/tmp"));
    }
    {
        const TmpdirSetting empty("");
        EXPECT_EQ(TemporaryFolder::base(), fs::path("/tmp"));
    }
    const TmpdirSetting set("/somewhere/else");
    EXPECT_EQ(TemporaryFolder::base(), fs::path("/somewhere/else"));
}

TEST(TemporaryFolder, AFolderThatCannotBeMadeThrows)
{
    const TmpdirSetting setting("/nonexistent-pravix-folder/below");
    EXPECT_THROW(TemporaryFolder folder, std::runtime_error);
}
