#pragma once

// A fresh folder per test under TMPDIR, removed with everything in it; and file helpers.

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdint>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

#include "TemporaryFolder.h"

namespace converttest
{

// The running test's own folder, named after it.
class TempFolder : public testsupport::TemporaryFolder
{
public:
    TempFolder() : TemporaryFolder(nameOfTest()) {}

private:
    static std::string nameOfTest()
    {
        const auto* info = testing::UnitTest::GetInstance()->current_test_info();
        std::string name = std::string("pravix-") + info->test_suite_name() + "-" + info->name();
        std::replace(name.begin(), name.end(), '/', '_');
        return name;
    }
};

inline std::vector<uint8_t> readBytes(const std::string& path)
{
    std::ifstream in(path, std::ios::binary);
    return std::vector<uint8_t>((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
}

inline void writeBytes(const std::string& path, const std::vector<uint8_t>& bytes)
{
    std::ofstream(path, std::ios::binary).write(reinterpret_cast<const char*>(bytes.data()),
                                                static_cast<std::streamsize>(bytes.size()));
}

// The names in a folder, sorted; none when it is not there.
inline std::vector<std::string> namesIn(const std::filesystem::path& folder)
{
    std::vector<std::string> names;
    std::error_code ec;
    for (const auto& item : std::filesystem::directory_iterator(folder, ec))
    {
        names.push_back(item.path().filename().string());
    }
    std::sort(names.begin(), names.end());
    return names;
}

inline std::string platformFixture(const std::string& name)
{
    return std::string(PRAVIX_SOURCE_DIR) + "/platform/tests/data/" + name;
}

inline std::string convertFixture(const std::string& name)
{
    return std::string(PRAVIX_SOURCE_DIR) + "/convert/tests/data/" + name;
}

inline bool startsWithExifSegment(const std::vector<uint8_t>& jpeg)
{
    return jpeg.size() > 10 && jpeg[0] == 0xFF && jpeg[1] == 0xD8 && jpeg[2] == 0xFF && jpeg[3] == 0xE1 &&
           std::equal(jpeg.begin() + 6, jpeg.begin() + 10, "Exif");
}

}  // namespace converttest
