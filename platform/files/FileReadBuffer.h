#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>
#include <streambuf>
#include <string>
#include <vector>

namespace pravix
{

// Reads a file for an input stream through a window of its bytes: seeking and small reads inside the
// window cost no system call, large reads go straight to the caller's memory. The reader seeks to every
// item it reads, which a stream over std::filebuf turns into a system call each.
class FileReadBuffer : public std::streambuf
{
public:
    // Null when `path` is not a regular file that can be opened for reading (never waits for a FIFO or
    // a device); `whyNot` then says why.
    static std::unique_ptr<FileReadBuffer> open(const std::string& path, std::string* whyNot = nullptr);
    // Over a descriptor already open on a regular file (a shared-memory file among them), which it then
    // owns; null (the descriptor closed) when it is not one.
    static std::unique_ptr<FileReadBuffer> adopt(int fd);
    ~FileReadBuffer() override;

    // The descriptor it reads, for handing the file on to another process.
    int descriptor() const { return mFd; }
    // The file's size when it was opened.
    uint64_t size() const { return static_cast<uint64_t>(mSize); }
    FileReadBuffer(const FileReadBuffer&) = delete;
    FileReadBuffer& operator=(const FileReadBuffer&) = delete;

protected:
    int_type underflow() override;
    std::streamsize xsgetn(char* into, std::streamsize count) override;
    pos_type seekoff(off_type offset, std::ios_base::seekdir way, std::ios_base::openmode which) override;
    pos_type seekpos(pos_type position, std::ios_base::openmode which) override;

private:
    FileReadBuffer(int fd, off_type size);
    off_type position() const { return mWindowStart + (gptr() - eback()); }
    // Fills the window from `at` on; false at the end of the file or on a read error.
    bool fill(off_type at);

    int mFd;
    off_type mSize;
    off_type mWindowStart = 0;
    std::vector<char> mWindow;
};

}  // namespace pravix
