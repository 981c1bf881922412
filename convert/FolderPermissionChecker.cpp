#include "FolderPermissionChecker.h"

#include <cstdlib>
#include <filesystem>
#include <unistd.h>
#include <vector>

namespace pravix
{

bool FolderPermissionChecker::isFolderReadOnlyAtPath(const std::string& path)
{
    std::error_code ec;
    if (path.empty() || !std::filesystem::is_directory(path, ec))
    {
        return false;
    }
    std::string name = path + "/.test_write_access.XXXXXX";
    std::vector<char> buffer(name.begin(), name.end());
    buffer.push_back('\0');
    const int fd = mkstemp(buffer.data());
    if (fd < 0)
    {
        return true;
    }
    const bool written = write(fd, "test", 4) == 4;
    close(fd);
    unlink(buffer.data());
    return !written;
}

}  // namespace pravix
