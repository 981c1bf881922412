#pragma once

// A small memory file system mounted on a folder for one test, to fill a disk or make one read-only
// for real. Needs root (or the right to mount); mounted() tells, and the test skips without it.

#include <string>
#include <sys/mount.h>
#include <sys/stat.h>
#include <unistd.h>

namespace testsupport
{

class SmallTmpfs
{
public:
    // `options` as for mount -o, e.g. "size=64k"; `readOnly` mounts it read-only.
    SmallTmpfs(std::string folder, const std::string& options, bool readOnly = false) : mFolder(std::move(folder))
    {
        ::mkdir(mFolder.c_str(), 0755);
        mMounted = ::mount("tmpfs", mFolder.c_str(), "tmpfs", readOnly ? MS_RDONLY : 0, options.c_str()) == 0;
    }
    ~SmallTmpfs()
    {
        if (mMounted)
        {
            ::umount2(mFolder.c_str(), MNT_DETACH);
        }
    }
    SmallTmpfs(const SmallTmpfs&) = delete;
    SmallTmpfs& operator=(const SmallTmpfs&) = delete;

    bool mounted() const { return mMounted; }
    const std::string& folder() const { return mFolder; }

private:
    std::string mFolder;
    bool mMounted = false;
};

}  // namespace testsupport
