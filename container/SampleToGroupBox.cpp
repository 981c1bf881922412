#include "SampleToGroupBox.h"

#include <algorithm>
#include <stdexcept>

#include "TrackLimits.h"

SampleToGroupBox::SampleToGroupBox() : FullBox(FourCCInt("sbgp"), 0, 0) {}

void SampleToGroupBox::setGroupingType(const std::string& groupingType)
{
    if (groupingType.length() != 4)
    {
        throw std::runtime_error(
            "SampleToGroupBox::setGroupingType: invalid grouping type length, must be 4 characters");
    }
    mGroupingType = groupingType;
}

void SampleToGroupBox::addSampleRun(std::uint32_t sampleCount, std::uint32_t groupDescriptionIndex)
{
    mRunOfSamples.push_back({sampleCount, groupDescriptionIndex});
    indexRuns();
    mEntryCount = std::uint32_t(mRunOfSamples.size());
}

std::uint32_t SampleToGroupBox::getSampleGroupDescriptionIndex(std::uint32_t sampleIndex) const
{
    if (sampleIndex >= mSampleCount)
    {
        return 0;
    }
    // The last run starting at or before the sample; runs of no samples start where the next does.
    const auto after = std::upper_bound(mRunStart.begin(), mRunStart.end(), std::uint64_t(sampleIndex));
    std::size_t run = std::size_t(after - mRunStart.begin()) - 1;
    return mRunOfSamples[run].mGroupDescriptionIndex;
}

std::uint32_t SampleToGroupBox::getSampleId(std::uint32_t groupDescriptionIndex) const
{
    for (std::size_t i = 0; i < mRunOfSamples.size(); ++i)
    {
        if (mRunOfSamples[i].mGroupDescriptionIndex == groupDescriptionIndex && mRunOfSamples[i].mSampleCount != 0 &&
            mRunStart[i] <= 0xFFFFFFFFu)
        {
            return std::uint32_t(mRunStart[i]);
        }
    }
    throw std::runtime_error("SampleToGroupBox::getSampleId: no entry for requested sample id");
}

void SampleToGroupBox::indexRuns()
{
    mRunStart.clear();
    mRunStart.reserve(mRunOfSamples.size());
    std::uint64_t total = 0;
    for (const auto& run : mRunOfSamples)
    {
        mRunStart.push_back(total);
        total += run.mSampleCount;  // at most 2^32 runs of less than 2^32: no wrap
    }
    mSampleCount = total;
}

void SampleToGroupBox::writeBox(BitStream& bitstr)
{
    if (mRunOfSamples.empty())
    {
        throw std::runtime_error("SampleToGroupBox::writeBox: not writing an invalid box without entries");
    }
    if (mGroupingType.length() != 4)
    {
        throw std::runtime_error("SampleToGroupBox::writeBox: Invalid grouping_type length");
    }
    writeFullBoxHeader(bitstr);
    bitstr.writeString(mGroupingType);
    if (getVersion() == 1)
    {
        bitstr.writeU32(mGroupingTypeParameter);
    }
    bitstr.writeU32(mEntryCount);
    for (const auto& run : mRunOfSamples)
    {
        bitstr.writeU32(run.mSampleCount);
        bitstr.writeU32(run.mGroupDescriptionIndex);
    }
    updateSize(bitstr);
}

void SampleToGroupBox::parseBox(BitStream& bitstr)
{
    parseFullBoxHeader(bitstr);
    bitstr.readString(mGroupingType, 4);
    if (getVersion() == 1)
    {
        mGroupingTypeParameter = bitstr.readU32();
    }
    mEntryCount = bitstr.readU32();
    if (mEntryCount == 0)
    {
        throw std::runtime_error("Read an empty SampleToGroupBox without entries.");
    }
    checkEntriesFit(mEntryCount, 8, bitstr.numBytesLeft());
    mRunOfSamples.clear();
    mRunOfSamples.reserve(mEntryCount);
    for (std::uint32_t i = 0; i < mEntryCount; ++i)
    {
        SampleToGroupEntry run;
        run.mSampleCount = bitstr.readU32();
        run.mGroupDescriptionIndex = bitstr.readU32();
        mRunOfSamples.push_back(run);
    }
    indexRuns();
}
