#pragma once

#include <string>

namespace pravix
{

// What the user may do with a path. On failure the three flags stay NO and `error` tells why; it is
// empty otherwise.
struct FolderPermissions
{
    bool isReadable = false;
    bool isWritable = false;
    bool isExecutable = false;
    std::string error;
};

class FolderPermissionChecker
{
public:
    // YES (true) when `path` is a folder in which no new file can be created. NO when nothing is there
    // or it is not a folder (the write itself then decides). The probe uses a fresh unique name, so
    // no file of the user's is touched.
    static bool isFolderReadOnlyAtPath(const std::string& path);

    // Kept for callers to come; neither throws.
    // The user's read, write and execute (search, for a folder) rights on whatever is at `path`, as
    // the system grants them; a missing or unreachable path gives the error.
    static FolderPermissions getFolderPermissionsAtPath(const std::string& path);
    // Changes nothing: answers NO.
    static bool attemptToFixPermissionsAtPath(const std::string& path);
};

}  // namespace pravix
