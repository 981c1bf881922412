#pragma once

#include <cstdint>

#include "FullBox.h"

// 'rloc': where an image lies relative to the image it belongs to (its top-left corner).
class ImageRelativeLocationProperty : public FullBox
{
public:
    ImageRelativeLocationProperty();
    ~ImageRelativeLocationProperty() override = default;

    std::uint32_t getHorizontalOffset() const { return mHorizontalOffset; }
    void setHorizontalOffset(std::uint32_t offset) { mHorizontalOffset = offset; }
    std::uint32_t getVerticalOffset() const { return mVerticalOffset; }
    void setVerticalOffset(std::uint32_t offset) { mVerticalOffset = offset; }

    void writeBox(BitStream& bitstr) override;
    void parseBox(BitStream& bitstr) override;

private:
    std::uint32_t mHorizontalOffset = 0;
    std::uint32_t mVerticalOffset = 0;
};
