#include "MovieHeaderBox.h"

#include <stdexcept>

MovieHeaderBox::MovieHeaderBox()
    : FullBox(FourCCInt("mvhd"), 0, 0), mMatrix{0x00010000, 0, 0, 0, 0x00010000, 0, 0, 0, 0x40000000}
{
}

void MovieHeaderBox::writeBox(BitStream& bitstr)
{
    if (mMatrix.size() < 9)
    {
        throwVectorOutOfRange();
    }
    writeFullBoxHeader(bitstr);
    writeFields(bitstr, false);   // only version 0 is read, so only its layout is written
    bitstr.writeU32(0x00010000);  // rate 1.0
    bitstr.writeU16(0x0100);      // volume 1.0
    bitstr.writeU16(0);           // reserved
    bitstr.writeU32(0);           // reserved
    bitstr.writeU32(0);
    for (std::size_t i = 0; i < 9; ++i)
    {
        bitstr.writeU32(std::uint32_t(mMatrix[i]));
    }
    for (int i = 0; i < 6; ++i)
    {
        bitstr.writeU32(0);  // pre_defined
    }
    bitstr.writeU32(mNextTrackID);
    updateSize(bitstr);
}

void MovieHeaderBox::parseBox(BitStream& bitstr)
{
    parseFullBoxHeader(bitstr);
    if (getVersion() != 0)
    {
        throw std::runtime_error("MovieHeaderBox::parseBox() supports only 'mvhd' version 0");
    }
    parseFields(bitstr, false, "MovieHeaderBox");
    bitstr.readU32();  // rate
    bitstr.readU16();  // volume
    bitstr.readU16();  // reserved
    bitstr.readU32();  // reserved
    bitstr.readU32();
    mMatrix.clear();
    for (int i = 0; i < 9; ++i)
    {
        mMatrix.push_back(std::int32_t(bitstr.readU32()));
    }
    for (int i = 0; i < 6; ++i)
    {
        bitstr.readU32();  // pre_defined
    }
    mNextTrackID = bitstr.readU32();
}
