#pragma once

// A folder of a test's own, made fresh under TMPDIR (/tmp when TMPDIR is unset or empty) and
// removed with everything in it when the object goes, so a test run leaves nothing behind. It
// needs neither GoogleTest nor Qt, so the suites of both kinds can use it.

#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <stdexcept>
#include <string>
#include <system_error>
#include <vector>

#include <stdlib.h>

namespace testsupport
{

class TemporaryFolder
{
public:
    /// Makes <TMPDIR>/<prefix>-XXXXXX, private to the user (mode 0700); the name is unique even
    /// among test programs run side by side. Throws std::runtime_error when it cannot be made.
    explicit TemporaryFolder(const std::string& prefix = "pravix")
    {
        std::string pattern = (base() / (prefix + "-XXXXXX")).string();
        std::vector<char> buffer(pattern.begin(), pattern.end());
        buffer.push_back('\0');
        if (::mkdtemp(buffer.data()) == nullptr)
        {
            throw std::runtime_error("cannot make a temporary folder " + pattern + ": " + std::strerror(errno));
        }
        mPath = buffer.data();
    }

    ~TemporaryFolder() { removeAll(mPath); }

    TemporaryFolder(const TemporaryFolder&) = delete;
    TemporaryFolder& operator=(const TemporaryFolder&) = delete;

    const std::filesystem::path& path() const { return mPath; }
    /// The path of a name inside the folder, as text for the APIs that take one.
    std::string operator/(const std::string& name) const { return (mPath / name).string(); }

    /// Where temporary folders go: TMPDIR when it is set, /tmp otherwise.
    static std::filesystem::path base()
    {
        const char* tmpdir = std::getenv("TMPDIR");
        return tmpdir != nullptr && *tmpdir != '\0' ? std::filesystem::path(tmpdir) : std::filesystem::path("/tmp");
    }

private:
    // A test may leave a folder it made read-only (to see a write refused); the owner takes the
    // rights back first, or nothing below it could be removed.
    static void removeAll(const std::filesystem::path& folder)
    {
        std::error_code ec;
        if (std::filesystem::is_directory(std::filesystem::symlink_status(folder, ec)))
        {
            std::filesystem::permissions(folder, std::filesystem::perms::owner_all, std::filesystem::perm_options::add,
                                         ec);
            std::vector<std::filesystem::path> entries;
            for (const auto& entry : std::filesystem::directory_iterator(folder, ec))
            {
                entries.push_back(entry.path());
            }
            for (const auto& entry : entries)
            {
                removeAll(entry);
            }
        }
        std::filesystem::remove(folder, ec);
    }

    std::filesystem::path mPath;
};

}  // namespace testsupport
