#include "SampleSizeBox.h"

#include "TrackLimits.h"

SampleSizeBox::SampleSizeBox() : FullBox(FourCCInt("stsz"), 0, 0) {}

std::uint32_t SampleSizeBox::getEntrySize(std::uint32_t sampleIndex) const
{
    if (sampleIndex >= mSampleCount || (mSampleSize == 0 && sampleIndex >= mEntrySize.size()))
    {
        throwVectorOutOfRange();
    }
    return mSampleSize != 0 ? mSampleSize : mEntrySize[sampleIndex];
}

std::vector<std::uint32_t> SampleSizeBox::getEntrySizes() const
{
    if (mSampleSize != 0)
    {
        return std::vector<std::uint32_t>(mSampleCount, mSampleSize);
    }
    return mEntrySize;
}

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
    mEntrySize.clear();
    if (mSampleSize != 0)
    {
        return;
    }
    checkEntriesFit(mSampleCount, 4, bitstr.numBytesLeft());
    mEntrySize.reserve(mSampleCount);
    for (std::uint32_t i = 0; i < mSampleCount; ++i)
    {
        mEntrySize.push_back(bitstr.readU32());
    }
}
