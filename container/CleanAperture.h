#pragma once

#include <cstdint>

#include "Box.h"

// 'clap': the clean aperture of an image as four fractions (width, height and the offsets of
// its centre).
class CleanAperture : public Box
{
public:
    struct Fraction
    {
        std::uint32_t numerator = 0;
        std::uint32_t denominator = 1;

        bool operator==(const Fraction& other) const
        {
            return numerator == other.numerator && denominator == other.denominator;
        }
    };

    CleanAperture();
    ~CleanAperture() override = default;

    Fraction getWidth() const { return mWidth; }
    void setWidth(const Fraction& width) { mWidth = width; }
    Fraction getHeight() const { return mHeight; }
    void setHeight(const Fraction& height) { mHeight = height; }
    Fraction getHorizOffset() const { return mHorizOffset; }
    void setHorizOffset(const Fraction& offset) { mHorizOffset = offset; }
    Fraction getVertOffset() const { return mVertOffset; }
    void setVertOffset(const Fraction& offset) { mVertOffset = offset; }

    void writeBox(BitStream& bitstr) override;
    void parseBox(BitStream& bitstr) override;

private:
    Fraction mWidth;
    Fraction mHeight;
    Fraction mHorizOffset;
    Fraction mVertOffset;
};
