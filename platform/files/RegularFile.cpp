#include "RegularFile.h"

#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>
#include <utility>

namespace pravix
{
namespace
{

std::string kindOf(mode_t mode)
{
    if (S_ISFIFO(mode))
    {
        return "FIFO";
    }
    if (S_ISSOCK(mode))
    {
        return "socket";
    }
    if (S_ISCHR(mode))
    {
        return "character device";
    }
    if (S_ISBLK(mode))
    {
        return "block device";
    }
    if (S_ISDIR(mode))
    {
        return "folder";
    }
    return "special file";
}

std::string reasonOf(int errnoValue)
{
    switch (errnoValue)
    {
    case EACCES:
    case EPERM:
        return "permission denied";
    case ENOENT:
    case ENOTDIR:
        return "no such file";
    default:
        return std::strerror(errnoValue);
    }
}

bool refuse(std::string* whyNot, std::string reason)
{
    if (whyNot != nullptr)
    {
        *whyNot = std::move(reason);
    }
    return false;
}

}  // namespace

std::optional<RegularFile> RegularFile::open(const std::string& path, std::string* whyNot)
{
    // Looked at first so that a device is not even opened (opening some has effects of its own).
    struct stat info
    {
    };
    if (::stat(path.c_str(), &info) != 0)
    {
        refuse(whyNot, reasonOf(errno));
        return std::nullopt;
    }
    if (!S_ISREG(info.st_mode))
    {
        refuse(whyNot, "not a regular file (" + kindOf(info.st_mode) + ")");
        return std::nullopt;
    }
    int fd;
    do
    {
        fd = ::open(path.c_str(), O_RDONLY | O_NONBLOCK | O_NOCTTY | O_CLOEXEC);
    } while (fd < 0 && errno == EINTR);
    if (fd < 0)
    {
        refuse(whyNot, reasonOf(errno));
        return std::nullopt;
    }
    RegularFile file(fd, 0);
    // Whatever the name leads to now: it may have been swapped since it was looked at.
    if (::fstat(fd, &info) != 0)
    {
        refuse(whyNot, reasonOf(errno));
        return std::nullopt;
    }
    if (!S_ISREG(info.st_mode))
    {
        refuse(whyNot, "not a regular file (" + kindOf(info.st_mode) + ")");
        return std::nullopt;
    }
    const int flags = ::fcntl(fd, F_GETFL);
    if (flags < 0 || ::fcntl(fd, F_SETFL, flags & ~O_NONBLOCK) != 0)
    {
        refuse(whyNot, reasonOf(errno));
        return std::nullopt;
    }
    file.mSize = static_cast<uint64_t>(info.st_size);
    return std::optional<RegularFile>(std::move(file));
}

RegularFile::RegularFile(RegularFile&& other) noexcept : mFd(other.mFd), mSize(other.mSize)
{
    other.mFd = -1;
}

RegularFile& RegularFile::operator=(RegularFile&& other) noexcept
{
    if (this != &other)
    {
        if (mFd >= 0)
        {
            ::close(mFd);
        }
        mFd = other.mFd;
        mSize = other.mSize;
        other.mFd = -1;
    }
    return *this;
}

RegularFile::~RegularFile()
{
    if (mFd >= 0)
    {
        ::close(mFd);
    }
}

int RegularFile::release()
{
    const int fd = mFd;
    mFd = -1;
    return fd;
}

}  // namespace pravix
