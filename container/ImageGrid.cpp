#include "ImageGrid.h"

#include "ImageFieldSize.h"

ImageGrid parseImageGrid(BitStream& bitstr)
{
    ImageGrid grid;
    bitstr.readU8();  // version, not checked
    const bool large = (bitstr.readU8() & ImageFieldSize::LARGE_FIELDS_FLAG) != 0;
    grid.rowsMinusOne = std::uint8_t(bitstr.readU8());
    grid.columnsMinusOne = std::uint8_t(bitstr.readU8());
    grid.outputWidth = ImageFieldSize::read(bitstr, large);
    grid.outputHeight = ImageFieldSize::read(bitstr, large);
    return grid;
}

void writeImageGrid(const ImageGrid& grid, BitStream& bitstr)
{
    const bool large = grid.outputWidth > 0xFFFF || grid.outputHeight > 0xFFFF;
    bitstr.writeU8(0);
    bitstr.writeU8(large ? ImageFieldSize::LARGE_FIELDS_FLAG : 0);
    bitstr.writeU8(grid.rowsMinusOne);
    bitstr.writeU8(grid.columnsMinusOne);
    ImageFieldSize::write(bitstr, large, grid.outputWidth);
    ImageFieldSize::write(bitstr, large, grid.outputHeight);
}
