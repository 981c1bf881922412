#include "ImageSpatialExtentsProperty.h"

ImageSpatialExtentsProperty::ImageSpatialExtentsProperty() : FullBox(FourCCInt("ispe"), 0, 0) {}

ImageSpatialExtentsProperty::ImageSpatialExtentsProperty(std::uint32_t width, std::uint32_t height)
    : FullBox(FourCCInt("ispe"), 0, 0), mImageWidth(width), mImageHeight(height)
{
}

void ImageSpatialExtentsProperty::writeBox(BitStream& bitstr)
{
    writeFullBoxHeader(bitstr);
    bitstr.writeU32(mImageWidth);
    bitstr.writeU32(mImageHeight);
    updateSize(bitstr);
}

void ImageSpatialExtentsProperty::parseBox(BitStream& bitstr)
{
    parseFullBoxHeader(bitstr);
    mImageWidth = bitstr.readU32();
    mImageHeight = bitstr.readU32();
}
