#pragma once

#include <cstdint>
#include <utility>
#include <vector>

#include "BitStream.h"

// The description of an 'iovl' image item: a canvas and one offset per layer,
// the layers being the item's 'dimg' references in order.
struct ImageOverlay
{
    std::uint16_t fillRed = 0;
    std::uint16_t fillGreen = 0;
    std::uint16_t fillBlue = 0;
    std::uint16_t fillAlpha = 0;
    std::uint32_t outputWidth = 0;
    std::uint32_t outputHeight = 0;
    /// Horizontal and vertical offset of each layer.
    std::vector<std::pair<std::int32_t, std::int32_t>> offsets;
};

/// Reads an overlay description; offset pairs are read up to the end of the
/// data, whatever the number of layers. Data that ends inside the fixed fields
/// or inside a pair throws std::out_of_range.
ImageOverlay parseImageOverlay(BitStream& bitstr);
/// Appends the description in the 16-bit form when every value fits it, else
/// the 32-bit form.
void writeImageOverlay(const ImageOverlay& overlay, BitStream& bitstr);
