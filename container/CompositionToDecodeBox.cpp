#include "CompositionToDecodeBox.h"

CompositionToDecodeBox::CompositionToDecodeBox() : FullBox(FourCCInt("cslg"), 0, 0) {}

void CompositionToDecodeBox::writeBox(BitStream& bitstr)
{
    writeFullBoxHeader(bitstr);
    bitstr.writeU32(std::uint32_t(mCompositionToDtsShift));
    bitstr.writeU32(std::uint32_t(mLeastDecodeToDisplayDelta));
    bitstr.writeU32(std::uint32_t(mGreatestDecodeToDisplayDelta));
    bitstr.writeU32(std::uint32_t(mCompositionStartTime));
    bitstr.writeU32(std::uint32_t(mCompositionEndTime));
    updateSize(bitstr);
}

void CompositionToDecodeBox::parseBox(BitStream& bitstr)
{
    parseFullBoxHeader(bitstr);
    mCompositionToDtsShift = std::int32_t(bitstr.readU32());
    mLeastDecodeToDisplayDelta = std::int32_t(bitstr.readU32());
    mGreatestDecodeToDisplayDelta = std::int32_t(bitstr.readU32());
    mCompositionStartTime = std::int32_t(bitstr.readU32());
    mCompositionEndTime = std::int32_t(bitstr.readU32());
}
