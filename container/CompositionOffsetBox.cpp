#include "CompositionOffsetBox.h"

#include <stdexcept>

#include "TrackLimits.h"

CompositionOffsetBox::CompositionOffsetBox() : FullBox(FourCCInt("ctts"), 0, 0) {}

void CompositionOffsetBox::addCompositionOffsetEntryVersion0(const EntryVersion0& entry)
{
    if (getVersion() != 0 || !mEntryVersion1.empty())
    {
        throw std::runtime_error("Invalid attempt to add version0 CompositionOffsetBox entries.");
    }
    mEntryVersion0.push_back(entry);
}

void CompositionOffsetBox::addCompositionOffsetEntryVersion1(const EntryVersion1& entry)
{
    if (getVersion() != 1 || !mEntryVersion0.empty())
    {
        throw std::runtime_error("Invalid attempt to add version1 CompositionOffsetBox entries.");
    }
    mEntryVersion1.push_back(entry);
}

std::uint64_t CompositionOffsetBox::getSampleCount() const
{
    // At most 2^32 runs of less than 2^32 samples: the sums do not wrap.
    std::uint64_t total = 0;
    if (getVersion() == 0)
    {
        for (const auto& entry : mEntryVersion0)
        {
            total += entry.mSampleCount;
        }
    }
    else if (getVersion() == 1)
    {
        for (const auto& entry : mEntryVersion1)
        {
            total += entry.mSampleCount;
        }
    }
    return total;
}

std::vector<std::int32_t> CompositionOffsetBox::getSampleCompositionOffsets() const
{
    const std::uint64_t count = getSampleCount();
    checkTrackRecordCount(count, "CompositionOffsetBox");
    std::vector<std::int32_t> offsets;
    offsets.reserve(std::size_t(count));
    if (getVersion() == 0)
    {
        for (const auto& entry : mEntryVersion0)
        {
            offsets.insert(offsets.end(), entry.mSampleCount, std::int32_t(entry.mSampleOffset));
        }
    }
    else if (getVersion() == 1)
    {
        for (const auto& entry : mEntryVersion1)
        {
            offsets.insert(offsets.end(), entry.mSampleCount, entry.mSampleOffset);
        }
    }
    return offsets;
}

void CompositionOffsetBox::writeBox(BitStream& bitstr)
{
    if (mEntryVersion0.empty() && mEntryVersion1.empty())
    {
        throw std::runtime_error("Can not write an empty CompositionOffsetBox.");
    }
    writeFullBoxHeader(bitstr);
    if (!mEntryVersion0.empty())
    {
        bitstr.writeU32(std::uint32_t(mEntryVersion0.size()));
        for (const auto& entry : mEntryVersion0)
        {
            bitstr.writeU32(entry.mSampleCount);
            bitstr.writeU32(entry.mSampleOffset);
        }
    }
    else
    {
        bitstr.writeU32(std::uint32_t(mEntryVersion1.size()));
        for (const auto& entry : mEntryVersion1)
        {
            bitstr.writeU32(entry.mSampleCount);
            bitstr.writeU32(std::uint32_t(entry.mSampleOffset));
        }
    }
    updateSize(bitstr);
}

void CompositionOffsetBox::parseBox(BitStream& bitstr)
{
    parseFullBoxHeader(bitstr);
    const std::uint32_t entryCount = bitstr.readU32();
    mEntryVersion0.clear();
    mEntryVersion1.clear();
    if (getVersion() != 0 && getVersion() != 1)
    {
        return;
    }
    checkEntriesFit(entryCount, 8, bitstr.numBytesLeft());
    for (std::uint32_t i = 0; i < entryCount; ++i)
    {
        const std::uint32_t count = bitstr.readU32();
        const std::uint32_t offset = bitstr.readU32();
        if (getVersion() == 0)
        {
            mEntryVersion0.push_back({count, offset});
        }
        else
        {
            mEntryVersion1.push_back({count, std::int32_t(offset)});
        }
    }
}
