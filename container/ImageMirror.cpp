#include "ImageMirror.h"

ImageMirror::ImageMirror() : Box(FourCCInt("imir")) {}

void ImageMirror::writeBox(BitStream& bitstr)
{
    writeBoxHeader(bitstr);
    bitstr.writeBits(0, 7);  // reserved
    bitstr.writeBits(mHorizontalAxis ? 1 : 0, 1);
    updateSize(bitstr);
}

void ImageMirror::parseBox(BitStream& bitstr)
{
    parseBoxHeader(bitstr);
    bitstr.readBits(7);  // reserved
    mHorizontalAxis = bitstr.readFlag();
}
