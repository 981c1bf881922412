#include "ImageRotation.h"

#include <stdexcept>

ImageRotation::ImageRotation() : Box(FourCCInt("irot")) {}

void ImageRotation::setAngle(std::uint32_t angle)
{
    if (angle % 90 != 0)
    {
        throw std::runtime_error("ImageRotation::setAngle() angle is not a multiple of 90 degrees");
    }
    mAngle = angle % 360;
}

void ImageRotation::writeBox(BitStream& bitstr)
{
    writeBoxHeader(bitstr);
    bitstr.writeBits(0, 6);  // reserved
    bitstr.writeBits((mAngle / 90) & 3, 2);
    updateSize(bitstr);
}

void ImageRotation::parseBox(BitStream& bitstr)
{
    parseBoxHeader(bitstr);
    bitstr.readBits(6);  // reserved
    mAngle = bitstr.readBits(2) * 90;
}
