#include "SampleToGroupBox.h"

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
    try
    {
        expandEntries();
    }
    catch (...)
    {
        mRunOfSamples.pop_back();
        expandEntries();
        throw;
    }
    mEntryCount = std::uint32_t(mRunOfSamples.size());
}

std::uint32_t SampleToGroupBox::getSampleGroupDescriptionIndex(std::uint32_t sampleIndex) const
{
    return sampleIndex < mSampleToGroupIndex.size() ? mSampleToGroupIndex[sampleIndex] : 0;
}

std::uint32_t SampleToGroupBox::getSampleId(std::uint32_t groupDescriptionIndex) const
{
    for (std::size_t i = 0; i < mSampleToGroupIndex.size(); ++i)
    {
        if (mSampleToGroupIndex[i] == groupDescriptionIndex)
        {
            return std::uint32_t(i);
        }
    }
    throw std::runtime_error("SampleToGroupBox::getSampleId: no entry for requested sample id");
}

void SampleToGroupBox::expandEntries()
{
    std::uint64_t total = 0;
    for (const auto& run : mRunOfSamples)
    {
        addTrackRecordCount(total, run.mSampleCount, "SampleToGroupBox");
    }
    mSampleToGroupIndex.clear();
    mSampleToGroupIndex.reserve(std::size_t(total));
    for (const auto& run : mRunOfSamples)
    {
        mSampleToGroupIndex.insert(mSampleToGroupIndex.end(), run.mSampleCount, run.mGroupDescriptionIndex);
    }
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
    expandEntries();
}
