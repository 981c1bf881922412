#pragma once

#include <cstdint>

#include "BitStream.h"

// The description of a 'grid' image item: its tiles are the item's 'dimg'
// references, row by row. Counts are kept in the file's minus-one form.
struct ImageGrid
{
    std::uint8_t rowsMinusOne = 0;
    std::uint8_t columnsMinusOne = 0;
    std::uint32_t outputWidth = 0;
    std::uint32_t outputHeight = 0;
};

/// Reads a grid description from the stream's position; short data throws
/// std::out_of_range.
ImageGrid parseImageGrid(BitStream& bitstr);
/// Appends the description; sizes above 65535 take the 32-bit form rather than
/// being cut.
void writeImageGrid(const ImageGrid& grid, BitStream& bitstr);
