#pragma once

#include "FileReadBuffer.h"

#include <cstddef>
#include <cstdint>
#include <memory>
#include <optional>

namespace pravix
{

// A file in memory (a shared-memory file), filled as bytes arrive and then read like a file on disk:
// bytes fetched from the network are kept once, where they arrived, and a picture decoder helper reads
// them through its descriptor like any other file.
class MemoryFile
{
public:
    // None when the system gives no such file.
    static std::optional<MemoryFile> create();
    MemoryFile(MemoryFile&& other) noexcept;
    MemoryFile& operator=(MemoryFile&& other) noexcept;
    MemoryFile(const MemoryFile&) = delete;
    MemoryFile& operator=(const MemoryFile&) = delete;
    ~MemoryFile();

    // Adds bytes at the end; false when they cannot be kept (out of memory).
    bool append(const void* bytes, size_t count);
    uint64_t size() const { return mSize; }
    // The file for reading from its start; the memory file is empty afterwards.
    std::unique_ptr<FileReadBuffer> reader();

private:
    explicit MemoryFile(int fd) : mFd(fd) {}

    int mFd = -1;
    uint64_t mSize = 0;
};

}  // namespace pravix
