#include "CodingConstraintsBox.h"

CodingConstraintsBox::CodingConstraintsBox() : FullBox(FourCCInt("ccst"), 0, 0) {}

void CodingConstraintsBox::setMaxRefPerPic(std::uint32_t maxRefPerPic)
{
    const std::uint8_t value = std::uint8_t(maxRefPerPic & 0xFF);
    mMaxRefPerPic = value > 15 ? 15 : value;
}

void CodingConstraintsBox::writeBox(BitStream& bitstr)
{
    writeFullBoxHeader(bitstr);
    bitstr.writeBits(mAllRefPicsIntra ? 1 : 0, 1);
    bitstr.writeBits(mIntraPredUsed ? 1 : 0, 1);
    bitstr.writeBits(mMaxRefPerPic, 4);
    bitstr.writeBits(0, 26);  // reserved
    updateSize(bitstr);
}

void CodingConstraintsBox::parseBox(BitStream& bitstr)
{
    parseFullBoxHeader(bitstr);
    mAllRefPicsIntra = bitstr.readFlag();
    mIntraPredUsed = bitstr.readFlag();
    mMaxRefPerPic = std::uint8_t(bitstr.readBits(4));
    bitstr.readBits(26);  // reserved
}
