#include "CleanAperture.h"

CleanAperture::CleanAperture() : Box(FourCCInt("clap")) {}

void CleanAperture::writeBox(BitStream& bitstr)
{
    writeBoxHeader(bitstr);
    for (const Fraction* fraction : {&mWidth, &mHeight, &mHorizOffset, &mVertOffset})
    {
        bitstr.writeU32(fraction->numerator);
        bitstr.writeU32(fraction->denominator);
    }
    updateSize(bitstr);
}

void CleanAperture::parseBox(BitStream& bitstr)
{
    parseBoxHeader(bitstr);
    for (Fraction* fraction : {&mWidth, &mHeight, &mHorizOffset, &mVertOffset})
    {
        fraction->numerator = bitstr.readU32();
        fraction->denominator = bitstr.readU32();
    }
}
