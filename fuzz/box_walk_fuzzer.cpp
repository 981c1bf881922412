// Walks arbitrary bytes as a tree of boxes and parses the file-level boxes it recognises.
#include <cstddef>
#include <cstdint>
#include <exception>
#include <vector>

#include "BitStream.h"
#include "FileTypeBox.h"
#include "HandlerBox.h"
#include "PrimaryItemBox.h"

namespace
{
void walk(BitStream& stream, int depth)
{
    while (stream.numBytesLeft() > 0)
    {
        FourCCInt type;
        BitStream child = stream.readChildBox(type);
        if (type == FourCCInt("ftyp"))
        {
            FileTypeBox().parseBox(child);
        }
        else if (type == FourCCInt("hdlr"))
        {
            HandlerBox().parseBox(child);
        }
        else if (type == FourCCInt("pitm"))
        {
            PrimaryItemBox().parseBox(child);
        }
        else if (depth < 8 && child.getSize() > 8)
        {
            child.skipBytes(8);
            walk(child, depth + 1);
        }
    }
}
}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    BitStream stream(std::vector<std::uint8_t>(data, data + size));
    try
    {
        walk(stream, 0);
    }
    catch (const std::exception&)
    {
    }
    return 0;
}
