#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

namespace pravix
{

// A regular file open for reading, and never anything else. A FIFO named like a photo blocks the open
// until a writer comes, a device may never end, a socket cannot be opened at all; so the path is looked
// at before the open, the open itself never waits (O_NONBLOCK), and the descriptor is checked again
// afterwards, which also catches a file swapped for something else in between. Every path the user
// gives the program is opened through here.
class RegularFile
{
public:
    // None when `path` is not a regular file that can be opened for reading; `whyNot` then says why,
    // for the log: "not a regular file (FIFO)", "permission denied", "no such file", ...
    static std::optional<RegularFile> open(const std::string& path, std::string* whyNot = nullptr);

    RegularFile(RegularFile&& other) noexcept;
    RegularFile& operator=(RegularFile&& other) noexcept;
    RegularFile(const RegularFile&) = delete;
    RegularFile& operator=(const RegularFile&) = delete;
    ~RegularFile();

    // A blocking descriptor, closed with this object unless released.
    int descriptor() const { return mFd; }
    // The size at the open.
    uint64_t size() const { return mSize; }
    // Hands the descriptor over; the caller closes it.
    int release();

private:
    RegularFile(int fd, uint64_t size) : mFd(fd), mSize(size) {}

    int mFd = -1;
    uint64_t mSize = 0;
};

}  // namespace pravix
