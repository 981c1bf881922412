#pragma once

#include <cstddef>
#include <string>

namespace pravix
{

// Writes a file whole or not at all. The bytes go into a fresh file in the target's folder, under a
// short name of fixed length (so a target whose name is as long as the file system allows still
// works), created with mode 0666 so the user's umask applies as it does to any new file; commit()
// flushes it to disk and gives it the target's name. Until then, and on every failure, the target is
// left as it was and the temporary file is removed.
//
// Existing::Replace renames over a file at the target, but refuses a target that exists and is not a
// regular file (a device, a pipe, a folder, a link). Existing::Keep never replaces anything: when a
// file is at the target at the moment of the commit (one that appeared since the name was chosen),
// commit() fails with targetTaken(), keeping the written file for commitAs() under another name.
class AtomicFileWriter
{
public:
    enum class Existing
    {
        Replace,
        Keep,
    };

    // `syncToDisk` false skips the flush to disk, for scratch files that no crash needs to keep.
    explicit AtomicFileWriter(std::string path, bool syncToDisk = true, Existing existing = Existing::Replace);
    ~AtomicFileWriter();
    AtomicFileWriter(const AtomicFileWriter&) = delete;
    AtomicFileWriter& operator=(const AtomicFileWriter&) = delete;

    // Creates the temporary file; false when the folder does not take one.
    bool open();
    bool write(const void* data, size_t size);
    // Flushes, closes and gives the file its name; false (nothing left behind, unless the target was
    // taken) when any step failed.
    bool commit();
    // commit() under another name in the same folder, after a commit found its target taken.
    bool commitAs(const std::string& path);

    // The commit found a file at the target (Existing::Keep); the written file waits for commitAs().
    bool targetTaken() const { return mTargetTaken; }
    // The name the file was committed under (the last one given).
    const std::string& path() const { return mPath; }
    // Why the last step failed, for the log, and its errno value (EEXIST when the target was taken).
    const std::string& error() const { return mError; }
    int errorNumber() const { return mErrorNumber; }

    // A fresh name of fixed length in `folder` for a file on its way to its real name.
    static std::string scratchPathIn(const std::string& folder);

private:
    void discard();
    bool fail(int errnoValue);

    std::string mPath;
    bool mSyncToDisk = true;
    Existing mExisting = Existing::Replace;
    std::string mTemporary;
    int mFd = -1;
    bool mWritten = false;  // flushed and closed, waiting for its name
    bool mFailed = false;
    bool mTargetTaken = false;
    std::string mError;
    int mErrorNumber = 0;
};

}  // namespace pravix
