#include "RenameWithoutReplacing.h"

#include <cerrno>
#include <cstdio>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace pravix
{

int linkThenUnlink(const std::string& from, const std::string& to)
{
    if (::link(from.c_str(), to.c_str()) != 0)
    {
        return errno;
    }
    // Both names lead to the written file now; a failure to drop the first leaves a stray name,
    // never a lost file.
    ::unlink(from.c_str());
    return 0;
}

int renameWithoutReplacing(const std::string& from, const std::string& to)
{
    if (::renameat2(AT_FDCWD, from.c_str(), AT_FDCWD, to.c_str(), RENAME_NOREPLACE) == 0)
    {
        return 0;
    }
    const int renameError = errno;
    if (renameError != EINVAL && renameError != ENOSYS && renameError != EOPNOTSUPP)
    {
        return renameError;
    }
    const int linkError = linkThenUnlink(from, to);
    if (linkError != EPERM && linkError != EOPNOTSUPP && linkError != ENOSYS)
    {
        return linkError;
    }
    // Neither (some network and FUSE file systems): look, then rename. Only a file that appears in
    // the moment between the two is replaced, rather than no file ever being written there.
    struct stat existing;
    if (::lstat(to.c_str(), &existing) == 0)
    {
        return EEXIST;
    }
    return std::rename(from.c_str(), to.c_str()) == 0 ? 0 : errno;
}

}  // namespace pravix
