#include "ImageGrid.h"

namespace
{
constexpr std::uint32_t kLargeFields = 1;
}

ImageGrid parseImageGrid(BitStream& bitstr)
{
    ImageGrid grid;
    bitstr.readU8();  // version, not checked
    const std::uint32_t flags = bitstr.readU8();
    grid.rowsMinusOne = std::uint8_t(bitstr.readU8());
    grid.columnsMinusOne = std::uint8_t(bitstr.readU8());
    if (flags & kLargeFields)
    {
        grid.outputWidth = bitstr.readU32();
        grid.outputHeight = bitstr.readU32();
    }
    else
    {
        grid.outputWidth = bitstr.readU16();
        grid.outputHeight = bitstr.readU16();
    }
    return grid;
}

void writeImageGrid(const ImageGrid& grid, BitStream& bitstr)
{
    const bool large = grid.outputWidth > 0xFFFF || grid.outputHeight > 0xFFFF;
    bitstr.writeU8(0);
    bitstr.writeU8(large ? kLargeFields : 0);
    bitstr.writeU8(grid.rowsMinusOne);
    bitstr.writeU8(grid.columnsMinusOne);
    if (large)
    {
        bitstr.writeU32(grid.outputWidth);
        bitstr.writeU32(grid.outputHeight);
    }
    else
    {
        bitstr.writeU16(std::uint16_t(grid.outputWidth));
        bitstr.writeU16(std::uint16_t(grid.outputHeight));
    }
}
