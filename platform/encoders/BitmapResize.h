#pragma once

#include "Bitmap.h"

#include <cstdint>
#include <optional>

namespace pravix
{

// Scales to exactly width x height with a high-quality filter (area averaging on all cores when neither
// side grows, Lanczos otherwise). nullopt for an empty source or a target outside the bitmap bounds.
std::optional<Bitmap> resizeBitmap(const Bitmap& source, uint32_t width, uint32_t height);

}  // namespace pravix
