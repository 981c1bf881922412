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

FolderPermissions FolderPermissionChecker::getFolderPermissionsAtPath(const std::string& path)
{
    FolderPermissions permissions;
    std::error_code ec;
    if (!std::filesystem::exists(path, ec))
    {
        permissions.error = (ec ? ec : std::make_error_code(std::errc::no_such_file_or_directory)).message();
        return permissions;
    }
    permissions.isReadable = access(path.c_str(), R_OK) == 0;
    permissions.isWritable = access(path.c_str(), W_OK) == 0;
    permissions.isExecutable = access(path.c_str(), X_OK) == 0;
    return permissions;
}

bool FolderPermissionChecker::attemptToFixPermissionsAtPath(const std::string&)
{
    return false;
}

}  // namespace pravix
