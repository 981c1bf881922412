#include "MemoryFile.h"

#include <cerrno>
#include <sys/mman.h>
#include <unistd.h>
#include <utility>

namespace pravix
{

std::optional<MemoryFile> MemoryFile::create()
{
    const int fd = memfd_create("pravix-bytes", MFD_CLOEXEC);
    if (fd < 0)
    {
        return std::nullopt;
    }
    return MemoryFile(fd);
}

MemoryFile::MemoryFile(MemoryFile&& other) noexcept
    : mFd(std::exchange(other.mFd, -1)), mSize(std::exchange(other.mSize, 0))
{
}

MemoryFile& MemoryFile::operator=(MemoryFile&& other) noexcept
{
    if (this != &other)
    {
        if (mFd >= 0)
        {
            ::close(mFd);
        }
        mFd = std::exchange(other.mFd, -1);
        mSize = std::exchange(other.mSize, 0);
    }
    return *this;
}

MemoryFile::~MemoryFile()
{
    if (mFd >= 0)
    {
        ::close(mFd);
    }
}

bool MemoryFile::append(const void* bytes, size_t count)
{
    const auto* p = static_cast<const char*>(bytes);
    while (count > 0 && mFd >= 0)
    {
        const ssize_t n = ::write(mFd, p, count);
        if (n < 0 && errno == EINTR)
        {
            continue;
        }
        if (n <= 0)
        {
            return false;
        }
        p += n;
        count -= static_cast<size_t>(n);
        mSize += static_cast<uint64_t>(n);
    }
    return mFd >= 0;
}

std::unique_ptr<FileReadBuffer> MemoryFile::reader()
{
    mSize = 0;
    // FileReadBuffer reads by position, whatever the descriptor's offset.
    return FileReadBuffer::adopt(std::exchange(mFd, -1));
}

}  // namespace pravix
