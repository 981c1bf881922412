#pragma once

#include <cstdint>

#include "Box.h"

// 'irot': anti-clockwise rotation in steps of 90 degrees. Kept in degrees (0, 90, 180, 270).
class ImageRotation : public Box
{
public:
    ImageRotation();
    ~ImageRotation() override = default;

    std::uint32_t getAngle() const { return mAngle; }
    /// Takes a multiple of 90 degrees; a full turn wraps to 0. Any other angle cannot be stored
    /// in the box and throws std::runtime_error.
    void setAngle(std::uint32_t angle);

    void writeBox(BitStream& bitstr) override;
    void parseBox(BitStream& bitstr) override;

private:
    std::uint32_t mAngle = 0;
};
