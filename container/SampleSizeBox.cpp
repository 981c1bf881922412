#include "SampleSizeBox.h"

#include "TrackLimits.h"

SampleSizeBox::SampleSizeBox() : FullBox(FourCCInt("stsz"), 0, 0) {}

void SampleSizeBox::writeBox(BitStream& bitstr)
{
    writeFullBoxHeader(bitstr);
    bitstr.writeU32(mSampleSize);
    bitstr.writeU32(mSampleCount);
    if (mSampleSize == 0)
    {
        if (mEntrySize.size() < mSampleCount)
        {
            throwVectorOutOfRange();
        }
        for (std::uint32_t i = 0; i < mSampleCount; ++i)
        {
            bitstr.writeU32(mEntrySize[i]);
        }
    }
    updateSize(bitstr);
}

void SampleSizeBox::parseBox(BitStream& bitstr)
{
    parseFullBoxHeader(bitstr);
    mSampleSize = bitstr.readU32();
    mSampleCount = bitstr.readU32();
    checkTrackRecordCount(mSampleCount, "SampleSizeBox");
    mEntrySize.clear();
    if (mSampleSize != 0)
    {
        mEntrySize.assign(mSampleCount, mSampleSize);
        return;
    }
    checkEntriesFit(mSampleCount, 4, bitstr.numBytesLeft());
    mEntrySize.reserve(mSampleCount);
    for (std::uint32_t i = 0; i < mSampleCount; ++i)
    {
        mEntrySize.push_back(bitstr.readU32());
    }
}
