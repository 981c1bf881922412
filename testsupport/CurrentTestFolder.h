#pragma once

// For the GoogleTest suites: the running test's own TemporaryFolder, made when the test first
// asks for a path in it and removed as soon as the test ends, so a test can name the files it
// writes without keeping a folder object beside them.

#include <gtest/gtest.h>

#include <algorithm>
#include <cctype>
#include <cstddef>
#include <memory>
#include <string>

#include "TemporaryFolder.h"

namespace testsupport
{

class CurrentTestFolder : public testing::EmptyTestEventListener
{
public:
    /// The path of that name in the running test's folder.
    static std::string path(const std::string& name) { return instance().folder() / name; }

    /// Removes the folder now rather than at the end of the test; a later path() makes a new one.
    static void release() { instance().mFolder.reset(); }

    void OnTestEnd(const testing::TestInfo&) override { mFolder.reset(); }
    void OnTestProgramEnd(const testing::UnitTest&) override { mFolder.reset(); }

private:
    CurrentTestFolder() = default;

    // GoogleTest owns the listener once it is appended, and calls it for as long as it runs.
    static CurrentTestFolder& instance()
    {
        static CurrentTestFolder* const listener = []
        {
            auto* made = new CurrentTestFolder;
            testing::UnitTest::GetInstance()->listeners().Append(made);
            return made;
        }();
        return *listener;
    }

    const TemporaryFolder& folder()
    {
        if (!mFolder)
        {
            mFolder = std::make_unique<TemporaryFolder>(prefix());
        }
        return *mFolder;
    }

    // pravix-<suite>-<test>, with the characters a file name cannot hold (the '/' of a
    // parameterised test) turned into '_'.
    static std::string prefix()
    {
        const testing::TestInfo* info = testing::UnitTest::GetInstance()->current_test_info();
        std::string name = "pravix";
        if (info != nullptr)
        {
            name += std::string("-") + info->test_suite_name() + "-" + info->name();
        }
        // Well inside the longest file name, with room for the unique ending.
        name.resize(std::min<std::size_t>(name.size(), 160));
        for (char& c : name)
        {
            if (!std::isalnum(static_cast<unsigned char>(c)) && c != '-' && c != '_' && c != '.')
            {
                c = '_';
            }
        }
        return name;
    }

    std::unique_ptr<TemporaryFolder> mFolder;
};

}  // namespace testsupport
