#include "FileBytes.h"

#include <cerrno>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace pravix
{

bool readWholeFile(const std::string& path, std::vector<uint8_t>& out)
{
    const int fd = open(path.c_str(), O_RDONLY | O_CLOEXEC);
    if (fd < 0)
    {
        out.clear();
        return false;
    }
    struct stat info
    {
    };
    bool ok = fstat(fd, &info) == 0 && S_ISREG(info.st_mode) && info.st_size >= 0 &&
              static_cast<uint64_t>(info.st_size) < (uint64_t(1) << 32);
    if (ok)
    {
        out.resize(static_cast<size_t>(info.st_size));
        size_t done = 0;
        while (done < out.size())
        {
            const ssize_t n = read(fd, out.data() + done, out.size() - done);
            if (n < 0 && errno == EINTR)
            {
                continue;
            }
            if (n <= 0)
            {
                break;  // an error, or the file shrank meanwhile
            }
            done += static_cast<size_t>(n);
        }
        ok = done == out.size();
    }
    close(fd);
    if (!ok)
    {
        out.clear();
    }
    return ok;
}

}  // namespace pravix
