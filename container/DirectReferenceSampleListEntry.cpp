#include "DirectReferenceSampleListEntry.h"

#include <stdexcept>

void DirectReferenceSampleListEntry::setDirectReferenceSampleIds(const std::vector<std::uint32_t>& referenceSampleIds)
{
    if (referenceSampleIds.size() >= 256)
    {
        throw std::runtime_error("Too many entries in referenceSampleIds");
    }
    mDirectReferenceSampleIds = referenceSampleIds;
}

std::uint32_t DirectReferenceSampleListEntry::getSize() const
{
    return 5 + 4 * std::uint32_t(mDirectReferenceSampleIds.size());
}

void DirectReferenceSampleListEntry::writeEntry(BitStream& bitstr)
{
    bitstr.writeU32(mSampleId);
    bitstr.writeU8(std::uint8_t(mDirectReferenceSampleIds.size()));
    for (const auto id : mDirectReferenceSampleIds)
    {
        bitstr.writeU32(id);
    }
}

void DirectReferenceSampleListEntry::parseEntry(BitStream& bitstr)
{
    mSampleId = bitstr.readU32();
    const std::uint32_t count = bitstr.readU8();
    mDirectReferenceSampleIds.clear();
    for (std::uint32_t i = 0; i < count; ++i)
    {
        mDirectReferenceSampleIds.push_back(bitstr.readU32());
    }
}
