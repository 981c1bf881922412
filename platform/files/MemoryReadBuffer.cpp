#include "MemoryReadBuffer.h"

namespace pravix
{

MemoryReadBuffer::MemoryReadBuffer(const uint8_t* data, size_t size)
{
    char* begin = const_cast<char*>(reinterpret_cast<const char*>(data));
    setg(begin, begin, begin + size);
}

MemoryReadBuffer::pos_type MemoryReadBuffer::seekoff(off_type offset, std::ios_base::seekdir way,
                                                     std::ios_base::openmode which)
{
    if ((which & std::ios_base::in) == 0)
    {
        return pos_type(off_type(-1));
    }
    off_type base = 0;
    if (way == std::ios_base::cur)
    {
        base = gptr() - eback();
    }
    else if (way == std::ios_base::end)
    {
        base = egptr() - eback();
    }
    if (offset < -base || offset > (egptr() - eback()) - base)
    {
        return pos_type(off_type(-1));
    }
    const off_type target = base + offset;
    setg(eback(), eback() + target, egptr());
    return pos_type(target);
}

MemoryReadBuffer::pos_type MemoryReadBuffer::seekpos(pos_type position, std::ios_base::openmode which)
{
    return seekoff(off_type(position), std::ios_base::beg, which);
}

}  // namespace pravix
