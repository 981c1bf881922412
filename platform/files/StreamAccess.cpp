#include "StreamAccess.h"

#include <cstdint>
#include <exception>
#include <ios>

namespace pravix
{
namespace stream
{

uint64_t size(std::streambuf& file)
{
    try
    {
        const std::streamoff here = file.pubseekoff(0, std::ios_base::cur, std::ios_base::in);
        const std::streamoff end = file.pubseekoff(0, std::ios_base::end, std::ios_base::in);
        if (here < 0 || end < 0)
        {
            return 0;
        }
        file.pubseekpos(here, std::ios_base::in);
        return static_cast<uint64_t>(end);
    }
    catch (const std::exception&)
    {
        return 0;
    }
}

bool seek(std::streambuf& file, uint64_t position)
{
    try
    {
        return file.pubseekpos(static_cast<std::streamoff>(position), std::ios_base::in) ==
               static_cast<std::streamoff>(position);
    }
    catch (const std::exception&)
    {
        return false;
    }
}

bool skip(std::streambuf& file, uint64_t count)
{
    try
    {
        const std::streamoff here = file.pubseekoff(0, std::ios_base::cur, std::ios_base::in);
        return here >= 0 && count <= static_cast<uint64_t>(INT64_MAX - here) &&
               file.pubseekoff(static_cast<std::streamoff>(count), std::ios_base::cur, std::ios_base::in) >= 0;
    }
    catch (const std::exception&)
    {
        return false;
    }
}

size_t read(std::streambuf& file, void* into, size_t count)
{
    try
    {
        const std::streamsize n = file.sgetn(static_cast<char*>(into), static_cast<std::streamsize>(count));
        return n > 0 ? static_cast<size_t>(n) : 0;
    }
    catch (const std::exception&)
    {
        return 0;
    }
}

}  // namespace stream
}  // namespace pravix
