#pragma once

#include <string>

namespace pravix
{

class FolderPermissionChecker
{
public:
    // YES (true) when `path` is a folder in which no new file can be created. NO when nothing is there
    // or it is not a folder (the write itself then decides). The probe uses a fresh unique name, so
    // no file of the user's is touched.
    static bool isFolderReadOnlyAtPath(const std::string& path);
};

}  // namespace pravix
