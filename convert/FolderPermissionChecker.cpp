#include "FolderPermissionChecker.h"

#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <unistd.h>
#include <vector>

namespace pravix
{
namespace
{

FolderWriteProbe refused(int errnoValue)
{
    FolderWriteProbe probe;
    probe.verdict = errnoValue == ENOSPC || errnoValue == EDQUOT ? FolderWriteProbe::Verdict::Full
                                                                  : FolderWriteProbe::Verdict::ReadOnly;
    probe.reason = std::strerror(errnoValue);
    return probe;
}

}  // namespace

FolderWriteProbe FolderPermissionChecker::probeFolderAtPath(const std::string& path)
{
    std::error_code ec;
    if (path.empty() || !std::filesystem::is_directory(path, ec))
    {
        return FolderWriteProbe{};
    }
    std::string name = path + "/.test_write_access.XXXXXX";
    std::vector<char> buffer(name.begin(), name.end());
    buffer.push_back('\0');
    const int fd = mkstemp(buffer.data());
    if (fd < 0)
    {
        return refused(errno);
    }
    ssize_t written;
    do
    {
        written = write(fd, "test", 4);
    } while (written < 0 && errno == EINTR);
    // A short write without an error is the file system's way of saying it is full.
    const int writeError = written == 4 ? 0 : written < 0 ? errno : ENOSPC;
    close(fd);
    unlink(buffer.data());
    return writeError == 0 ? FolderWriteProbe{} : refused(writeError);
}

bool FolderPermissionChecker::isFolderReadOnlyAtPath(const std::string& path)
{
    return probeFolderAtPath(path).verdict == FolderWriteProbe::Verdict::ReadOnly;
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
