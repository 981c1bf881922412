#include "AtomicFileWriter.h"

#include "RenameWithoutReplacing.h"

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <fcntl.h>
#include <random>
#include <sys/stat.h>
#include <unistd.h>

namespace pravix
{
namespace
{

// Six characters from [A-Za-z0-9], as mkstemp would choose them; each thread draws its own.
std::string randomSuffix()
{
    static const char kLetters[] = "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789";
    thread_local std::mt19937_64 generator{std::random_device{}()};
    std::uniform_int_distribution<size_t> pick(0, sizeof kLetters - 2);
    std::string suffix(6, 'x');
    for (char& c : suffix)
    {
        c = kLetters[pick(generator)];
    }
    return suffix;
}

std::string folderOf(const std::string& path)
{
    const size_t slash = path.rfind('/');
    if (slash == std::string::npos)
    {
        return ".";
    }
    return slash == 0 ? "/" : path.substr(0, slash);
}

}  // namespace

std::string AtomicFileWriter::scratchPathIn(const std::string& folder)
{
    // Hidden, so a file manager showing the folder meanwhile does not offer a half-written photo.
    const std::string name = ".pravix-" + randomSuffix();
    return !folder.empty() && folder.back() == '/' ? folder + name : folder + "/" + name;
}

AtomicFileWriter::AtomicFileWriter(std::string path, bool syncToDisk, Existing existing)
    : mPath(std::move(path)), mSyncToDisk(syncToDisk), mExisting(existing)
{
}

AtomicFileWriter::~AtomicFileWriter()
{
    discard();
}

bool AtomicFileWriter::open()
{
    discard();
    mFailed = false;
    mTargetTaken = false;
    mWritten = false;
    mError.clear();
    mErrorNumber = 0;
    if (mPath.empty())
    {
        mFailed = true;
        mError = "no file name";
        mErrorNumber = ENOENT;
        return false;
    }
    // Renaming over a device, a pipe, a folder or a link would replace that node itself.
    struct stat existing;
    if (mExisting == Existing::Replace && ::lstat(mPath.c_str(), &existing) == 0 && !S_ISREG(existing.st_mode))
    {
        mFailed = true;
        mError = "not a regular file";
        mErrorNumber = EEXIST;
        return false;
    }
    // mkstemp would create the file 0600; the output must get the mode any new file of the user gets.
    const std::string folder = folderOf(mPath);
    for (int attempt = 0; attempt < 100; ++attempt)
    {
        std::string candidate = scratchPathIn(folder);
        const int fd = ::open(candidate.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0666);
        if (fd >= 0)
        {
            mFd = fd;
            mTemporary = std::move(candidate);
            return true;
        }
        if (errno != EEXIST)
        {
            return fail(errno);
        }
    }
    return fail(EEXIST);
}

bool AtomicFileWriter::write(const void* data, size_t size)
{
    if (mFd < 0 || mFailed)
    {
        return false;
    }
    const auto* bytes = static_cast<const unsigned char*>(data);
    size_t done = 0;
    while (done < size)
    {
        const ssize_t n = ::write(mFd, bytes + done, size - done);
        if (n < 0)
        {
            if (errno == EINTR)
            {
                continue;
            }
            return fail(errno);
        }
        done += static_cast<size_t>(n);
    }
    return true;
}

bool AtomicFileWriter::commit()
{
    return commitAs(mPath);
}

bool AtomicFileWriter::commitAs(const std::string& path)
{
    if (mFailed || mTemporary.empty() || (mFd < 0 && !mWritten))
    {
        return false;
    }
    if (!mWritten)
    {
        // A full disk can show only when the data reaches it, and a crash after the rename must not
        // leave an empty file under the real name.
        if (mSyncToDisk && ::fdatasync(mFd) != 0)
        {
            return fail(errno);
        }
        const int fd = mFd;
        mFd = -1;
        if (::close(fd) != 0)
        {
            return fail(errno);
        }
        mWritten = true;
    }
    mPath = path;
    mTargetTaken = false;
    if (mExisting == Existing::Keep)
    {
        const int result = renameWithoutReplacing(mTemporary, mPath);
        if (result == EEXIST)
        {
            mTargetTaken = true;
            mError = std::strerror(EEXIST);
            mErrorNumber = EEXIST;
            return false;
        }
        if (result != 0)
        {
            return fail(result);
        }
    }
    else if (std::rename(mTemporary.c_str(), mPath.c_str()) != 0)
    {
        return fail(errno);
    }
    mTemporary.clear();
    mWritten = false;
    return true;
}

bool AtomicFileWriter::fail(int errnoValue)
{
    mFailed = true;
    mError = std::strerror(errnoValue);
    mErrorNumber = errnoValue;
    discard();
    return false;
}

void AtomicFileWriter::discard()
{
    if (mFd >= 0)
    {
        ::close(mFd);
        mFd = -1;
    }
    if (!mTemporary.empty())
    {
        ::unlink(mTemporary.c_str());
        mTemporary.clear();
    }
    mWritten = false;
}

}  // namespace pravix
