#pragma once

#include <cstddef>
#include <string>

namespace pravix
{

// Writes a file whole or not at all. The bytes go into a fresh file in the target's folder, created
// with mode 0666 so the user's umask applies as it does to any new file; commit() flushes it to disk
// and renames it over the target. Until then, and on every failure, the target is left as it was and
// the temporary file is removed. A target that exists and is not a regular file (a device, a pipe,
// a folder, a link) is refused rather than replaced.
class AtomicFileWriter
{
public:
    // `syncToDisk` false skips the flush to disk, for scratch files that no crash needs to keep.
    explicit AtomicFileWriter(std::string path, bool syncToDisk = true);
    ~AtomicFileWriter();
    AtomicFileWriter(const AtomicFileWriter&) = delete;
    AtomicFileWriter& operator=(const AtomicFileWriter&) = delete;

    // Creates the temporary file; false when the folder does not take one.
    bool open();
    bool write(const void* data, size_t size);
    // Flushes, closes and renames into place; false (nothing left behind) when any step failed.
    bool commit();

    // Why the last step failed, for the log.
    const std::string& error() const { return mError; }

private:
    void discard();
    bool fail(int errnoValue);

    std::string mPath;
    bool mSyncToDisk = true;
    std::string mTemporary;
    int mFd = -1;
    bool mFailed = false;
    std::string mError;
};

}  // namespace pravix
