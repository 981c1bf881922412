#pragma once

#include <string>

namespace pravix
{

// What the write probe found in an output folder.
struct FolderWriteProbe
{
    enum class Verdict
    {
        Writable,  // a file was made there (or nothing to probe: no folder at the path)
        ReadOnly,  // the folder refuses new files: a read-only file system, permissions
        Full,      // the file system has no room (or the user's quota is used up)
    };
    Verdict verdict = Verdict::Writable;
    std::string reason;  // the system's words for a refusal, for the log
};

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
    // or it is not a folder (the write itself then decides), and when the disk is merely full: the
    // folder takes files, there is no room for them. The probe uses a fresh unique name, so no file of
    // the user's is touched.
    static bool isFolderReadOnlyAtPath(const std::string& path);
    // The probe itself, telling a full disk from a folder that refuses writes.
    static FolderWriteProbe probeFolderAtPath(const std::string& path);

    // Kept for callers to come; neither throws.
    // The user's read, write and execute (search, for a folder) rights on whatever is at `path`, as
    // the system grants them; a missing or unreachable path gives the error.
    static FolderPermissions getFolderPermissionsAtPath(const std::string& path);
    // Changes nothing: answers NO.
    static bool attemptToFixPermissionsAtPath(const std::string& path);
};

}  // namespace pravix
