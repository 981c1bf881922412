#include "FileReadBuffer.h"

#include "RegularFile.h"

#include <algorithm>
#include <cerrno>
#include <sys/stat.h>
#include <unistd.h>

namespace pravix
{
namespace
{

constexpr size_t kWindowBytes = 64 * 1024;

}  // namespace

std::unique_ptr<FileReadBuffer> FileReadBuffer::open(const std::string& path, std::string* whyNot)
{
    std::optional<RegularFile> file = RegularFile::open(path, whyNot);
    if (!file)
    {
        return nullptr;
    }
    const auto size = static_cast<off_type>(file->size());
    return std::unique_ptr<FileReadBuffer>(new FileReadBuffer(file->release(), size));
}

std::unique_ptr<FileReadBuffer> FileReadBuffer::adopt(int fd)
{
    struct stat info;
    if (fd < 0 || fstat(fd, &info) != 0 || !S_ISREG(info.st_mode))
    {
        if (fd >= 0)
        {
            close(fd);
        }
        return nullptr;
    }
    return std::unique_ptr<FileReadBuffer>(new FileReadBuffer(fd, static_cast<off_type>(info.st_size)));
}

FileReadBuffer::FileReadBuffer(int fd, off_type size) : mFd(fd), mSize(size), mWindow(kWindowBytes)
{
    setg(mWindow.data(), mWindow.data(), mWindow.data());
}

FileReadBuffer::~FileReadBuffer()
{
    close(mFd);
}

bool FileReadBuffer::fill(off_type at)
{
    mWindowStart = at;
    setg(mWindow.data(), mWindow.data(), mWindow.data());
    if (at >= mSize)
    {
        return false;
    }
    ssize_t n;
    do
    {
        n = pread(mFd, mWindow.data(), mWindow.size(), at);
    } while (n < 0 && errno == EINTR);
    if (n <= 0)
    {
        return false;
    }
    setg(mWindow.data(), mWindow.data(), mWindow.data() + n);
    return true;
}

FileReadBuffer::int_type FileReadBuffer::underflow()
{
    if (gptr() < egptr())
    {
        return traits_type::to_int_type(*gptr());
    }
    return fill(position()) ? traits_type::to_int_type(*gptr()) : traits_type::eof();
}

std::streamsize FileReadBuffer::xsgetn(char* into, std::streamsize count)
{
    std::streamsize done = std::min<std::streamsize>(count, egptr() - gptr());
    std::copy_n(gptr(), done, into);
    gbump(static_cast<int>(done));
    if (done == count)
    {
        return done;
    }
    // The rest straight from the file when it is larger than the window, else through it.
    if (count - done >= static_cast<std::streamsize>(mWindow.size()))
    {
        off_type at = position();
        while (done < count && at < mSize)
        {
            const ssize_t n = pread(mFd, into + done, static_cast<size_t>(count - done), at);
            if (n < 0 && errno == EINTR)
            {
                continue;
            }
            if (n <= 0)
            {
                break;
            }
            done += n;
            at += n;
        }
        mWindowStart = at;  // the window starts where the read ended, empty until read from
        setg(mWindow.data(), mWindow.data(), mWindow.data());
        return done;
    }
    while (done < count && underflow() != traits_type::eof())
    {
        const std::streamsize part = std::min<std::streamsize>(count - done, egptr() - gptr());
        std::copy_n(gptr(), part, into + done);
        gbump(static_cast<int>(part));
        done += part;
    }
    return done;
}

FileReadBuffer::pos_type FileReadBuffer::seekoff(off_type offset, std::ios_base::seekdir way,
                                                 std::ios_base::openmode which)
{
    if ((which & std::ios_base::in) == 0)
    {
        return pos_type(off_type(-1));
    }
    const off_type base = way == std::ios_base::beg ? 0 : way == std::ios_base::cur ? position() : mSize;
    const off_type target = base + offset;
    if (target < 0 || target > mSize)
    {
        return pos_type(off_type(-1));
    }
    if (target >= mWindowStart && target <= mWindowStart + (egptr() - eback()))
    {
        setg(eback(), eback() + (target - mWindowStart), egptr());  // inside the window: no read
    }
    else
    {
        mWindowStart = target;
        setg(mWindow.data(), mWindow.data(), mWindow.data());
    }
    return pos_type(target);
}

FileReadBuffer::pos_type FileReadBuffer::seekpos(pos_type position, std::ios_base::openmode which)
{
    return seekoff(off_type(position), std::ios_base::beg, which);
}

}  // namespace pravix
