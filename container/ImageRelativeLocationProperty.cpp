#include "ImageRelativeLocationProperty.h"

ImageRelativeLocationProperty::ImageRelativeLocationProperty() : FullBox(FourCCInt("rloc"), 0, 0) {}

void ImageRelativeLocationProperty::writeBox(BitStream& bitstr)
{
    writeFullBoxHeader(bitstr);
    bitstr.writeU32(mHorizontalOffset);
    bitstr.writeU32(mVerticalOffset);
    updateSize(bitstr);
}

void ImageRelativeLocationProperty::parseBox(BitStream& bitstr)
{
    parseFullBoxHeader(bitstr);
    mHorizontalOffset = bitstr.readU32();
    mVerticalOffset = bitstr.readU32();
}
