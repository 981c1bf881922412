#pragma once

#include <cstdint>

#include "FullBox.h"

// 'ispe': the width and height of the reconstructed image, in pixels.
class ImageSpatialExtentsProperty : public FullBox
{
public:
    ImageSpatialExtentsProperty();
    ImageSpatialExtentsProperty(std::uint32_t width, std::uint32_t height);
    ~ImageSpatialExtentsProperty() override = default;

    std::uint32_t getDisplayWidth() const { return mImageWidth; }
    void setDisplayWidth(std::uint32_t width) { mImageWidth = width; }
    std::uint32_t getDisplayHeight() const { return mImageHeight; }
    void setDisplayHeight(std::uint32_t height) { mImageHeight = height; }

    void writeBox(BitStream& bitstr) override;
    void parseBox(BitStream& bitstr) override;

private:
    std::uint32_t mImageWidth = 0;
    std::uint32_t mImageHeight = 0;
};
