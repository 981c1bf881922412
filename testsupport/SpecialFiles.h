#pragma once

// Files that are not regular files, named like photos, and a guard for code that might block on
// them for ever: a FIFO blocks an ordinary open for reading until some writer comes.

#include <chrono>
#include <fcntl.h>
#include <functional>
#include <future>
#include <string>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/un.h>
#include <unistd.h>
#include <vector>

namespace testsupport
{

inline bool makeFifo(const std::string& path)
{
    return ::mkfifo(path.c_str(), 0644) == 0;
}

// A Unix socket bound at `path`; the socket itself is closed at once, its node stays.
inline bool makeSocket(const std::string& path)
{
    sockaddr_un address{};
    address.sun_family = AF_UNIX;
    if (path.size() >= sizeof address.sun_path)
    {
        return false;
    }
    path.copy(address.sun_path, path.size());
    const int fd = ::socket(AF_UNIX, SOCK_STREAM, 0);
    if (fd < 0)
    {
        return false;
    }
    const bool bound = ::bind(fd, reinterpret_cast<const sockaddr*>(&address), sizeof address) == 0;
    ::close(fd);
    return bound;
}

// Runs `work` on a thread of its own. True when it returns within `limit`; otherwise the FIFOs are
// opened for writing until it has returned (an open for reading blocked on one of them then goes
// on), and the answer is false. The limit only tells a blocked call from a slow one.
inline bool returnsWithoutBlocking(const std::function<void()>& work, const std::vector<std::string>& fifos,
                                   std::chrono::seconds limit = std::chrono::seconds(30))
{
    std::future<void> done = std::async(std::launch::async, work);
    if (done.wait_for(limit) == std::future_status::ready)
    {
        done.get();
        return true;
    }
    while (done.wait_for(std::chrono::milliseconds(50)) != std::future_status::ready)
    {
        for (const std::string& fifo : fifos)
        {
            const int fd = ::open(fifo.c_str(), O_WRONLY | O_NONBLOCK | O_CLOEXEC);
            if (fd >= 0)
            {
                ::close(fd);
            }
        }
    }
    done.get();
    return false;
}

}  // namespace testsupport
