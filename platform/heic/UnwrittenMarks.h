#pragma once

#include <cstddef>
#include <cstdint>

namespace pravix
{

// Marks that tell whether a decoder wrote every part of a picture. A decoder that stops early on damage
// leaves the rest of its buffer as it found it: memory that held another picture, so what shows there
// would change from run to run. Every 16x16 cell of a fresh buffer gets a block of noise that no decoded
// picture holds (8x8 samples; with two-byte samples their values lie above any bit depth's range), and
// a picture is whole only when none of them is left. Coding blocks are at least 16x16 and aligned to
// that grid, so a block the decoder never reached keeps at least one whole mark. The mark sits in the
// middle of its cell: the deblocking of a finished neighbour reaches up to 3 samples into a block the
// decoder never reached.

// Marks the width x height samples at plane (stride bytes apart, 1 or 2 bytes a sample) as unwritten.
// Sides below 8 get a block of their own size.
void markUnwritten(uint8_t* plane, ptrdiff_t stride, uint32_t width, uint32_t height, uint32_t bytesPerSample);

// True when no mark is left in the plane that markUnwritten marked with the same arguments.
bool everyCellWritten(const uint8_t* plane, ptrdiff_t stride, uint32_t width, uint32_t height, uint32_t bytesPerSample);

}  // namespace pravix
