#include "TimeToSampleBox.h"

#include "TrackLimits.h"

TimeToSampleBox::TimeToSampleBox() : FullBox(FourCCInt("stts"), 0, 0) {}

std::uint64_t TimeToSampleBox::getSampleCount() const
{
    std::uint64_t total = 0;
    for (const auto& entry : mEntryVersion0)
    {
        total += entry.mSampleCount;  // at most 2^32 runs of less than 2^32: no wrap
    }
    return total;
}

std::vector<std::uint32_t> TimeToSampleBox::getDecodeTimes() const
{
    const std::uint64_t count = getSampleCount();
    checkTrackRecordCount(count, "TimeToSampleBox");
    std::vector<std::uint32_t> times;
    times.reserve(std::size_t(count));
    std::uint32_t time = 0;
    for (const auto& entry : mEntryVersion0)
    {
        for (std::uint32_t i = 0; i < entry.mSampleCount; ++i)
        {
            times.push_back(time);
            time += entry.mSampleDelta;
        }
    }
    return times;
}

void TimeToSampleBox::writeBox(BitStream& bitstr)
{
    writeFullBoxHeader(bitstr);
    bitstr.writeU32(std::uint32_t(mEntryVersion0.size()));
    for (const auto& entry : mEntryVersion0)
    {
        bitstr.writeU32(entry.mSampleCount);
        bitstr.writeU32(entry.mSampleDelta);
    }
    updateSize(bitstr);
}

void TimeToSampleBox::parseBox(BitStream& bitstr)
{
    parseFullBoxHeader(bitstr);
    const std::uint32_t entryCount = bitstr.readU32();
    checkEntriesFit(entryCount, 8, bitstr.numBytesLeft());
    mEntryVersion0.clear();
    mEntryVersion0.reserve(entryCount);
    for (std::uint32_t i = 0; i < entryCount; ++i)
    {
        EntryVersion0 entry;
        entry.mSampleCount = bitstr.readU32();
        entry.mSampleDelta = bitstr.readU32();
        mEntryVersion0.push_back(entry);
    }
}
