#include "SyncSampleBox.h"

#include "TrackLimits.h"

SyncSampleBox::SyncSampleBox() : FullBox(FourCCInt("stss"), 0, 0) {}

void SyncSampleBox::writeBox(BitStream& bitstr)
{
    writeFullBoxHeader(bitstr);
    bitstr.writeU32(std::uint32_t(mSampleNumbers.size()));
    for (const auto number : mSampleNumbers)
    {
        bitstr.writeU32(number);
    }
    updateSize(bitstr);
}

void SyncSampleBox::parseBox(BitStream& bitstr)
{
    parseFullBoxHeader(bitstr);
    const std::uint32_t entryCount = bitstr.readU32();
    checkEntriesFit(entryCount, 4, bitstr.numBytesLeft());
    mSampleNumbers.clear();
    mSampleNumbers.reserve(entryCount);
    for (std::uint32_t i = 0; i < entryCount; ++i)
    {
        mSampleNumbers.push_back(bitstr.readU32());
    }
}
