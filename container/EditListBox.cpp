#include "EditListBox.h"

#include <stdexcept>

#include "TrackLimits.h"

EditListBox::EditListBox() : FullBox(FourCCInt("elst"), 0, 0) {}

void EditListBox::addEntry(const EntryVersion0& entry)
{
    if (getVersion() != 0 || !mEntryVersion1.empty())
    {
        throw std::runtime_error("Invalid attempt to add version0 EditListBox entries.");
    }
    mEntryVersion0.push_back(entry);
}

void EditListBox::addEntry(const EntryVersion1& entry)
{
    if (getVersion() != 1 || !mEntryVersion0.empty())
    {
        throw std::runtime_error("Invalid attempt to add version1 EditList entries.");
    }
    mEntryVersion1.push_back(entry);
}

std::uint32_t EditListBox::numberOfEntries() const
{
    if (getVersion() == 0)
    {
        return std::uint32_t(mEntryVersion0.size());
    }
    if (getVersion() == 1)
    {
        return std::uint32_t(mEntryVersion1.size());
    }
    throw std::runtime_error("Not supported EditListBox entry version (only 0 and 1 are supported).");
}

const EditListBox::EntryVersion0& EditListBox::getEntryVersion0(std::uint32_t index) const
{
    if (index >= mEntryVersion0.size())
    {
        throwVectorOutOfRange();
    }
    return mEntryVersion0[index];
}

const EditListBox::EntryVersion1& EditListBox::getEntryVersion1(std::uint32_t index) const
{
    if (index >= mEntryVersion1.size())
    {
        throwVectorOutOfRange();
    }
    return mEntryVersion1[index];
}

void EditListBox::writeBox(BitStream& bitstr)
{
    writeFullBoxHeader(bitstr);
    if (!mEntryVersion0.empty())
    {
        bitstr.writeU32(std::uint32_t(mEntryVersion0.size()));
        for (const auto& entry : mEntryVersion0)
        {
            bitstr.writeU32(entry.mSegmentDuration);
            bitstr.writeU32(std::uint32_t(entry.mMediaTime));
            bitstr.writeU16(std::uint16_t(entry.mMediaRateInteger));
            bitstr.writeU16(std::uint16_t(entry.mMediaRateFraction));
        }
    }
    else if (!mEntryVersion1.empty())
    {
        bitstr.writeU32(std::uint32_t(mEntryVersion1.size()));
        for (const auto& entry : mEntryVersion1)
        {
            bitstr.writeU64(entry.mSegmentDuration);
            bitstr.writeU64(std::uint64_t(entry.mMediaTime));
            bitstr.writeU16(std::uint16_t(entry.mMediaRateInteger));
            bitstr.writeU16(std::uint16_t(entry.mMediaRateFraction));
        }
    }
    else
    {
        // The reader always expects a count, so an empty list still writes one.
        bitstr.writeU32(0);
    }
    updateSize(bitstr);
}

void EditListBox::parseBox(BitStream& bitstr)
{
    parseFullBoxHeader(bitstr);
    const std::uint32_t entryCount = bitstr.readU32();
    mEntryVersion0.clear();
    mEntryVersion1.clear();
    if (getVersion() == 0)
    {
        checkEntriesFit(entryCount, 12, bitstr.numBytesLeft());
        mEntryVersion0.reserve(entryCount);
        for (std::uint32_t i = 0; i < entryCount; ++i)
        {
            EntryVersion0 entry;
            entry.mSegmentDuration = bitstr.readU32();
            entry.mMediaTime = std::int32_t(bitstr.readU32());
            entry.mMediaRateInteger = std::int16_t(bitstr.readU16());
            entry.mMediaRateFraction = std::int16_t(bitstr.readU16());
            mEntryVersion0.push_back(entry);
        }
    }
    else if (getVersion() == 1)
    {
        checkEntriesFit(entryCount, 20, bitstr.numBytesLeft());
        mEntryVersion1.reserve(entryCount);
        for (std::uint32_t i = 0; i < entryCount; ++i)
        {
            EntryVersion1 entry;
            entry.mSegmentDuration = bitstr.readU64();
            entry.mMediaTime = std::int64_t(bitstr.readU64());
            entry.mMediaRateInteger = std::int16_t(bitstr.readU16());
            entry.mMediaRateFraction = std::int16_t(bitstr.readU16());
            mEntryVersion1.push_back(entry);
        }
    }
}
