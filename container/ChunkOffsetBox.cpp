#include "ChunkOffsetBox.h"

#include <algorithm>

#include "TrackLimits.h"

ChunkOffsetBox::ChunkOffsetBox() : FullBox(FourCCInt("stco"), 0, 0) {}

void ChunkOffsetBox::setChunkOffsets(const std::vector<std::uint64_t>& offsets)
{
    mChunkOffsets = offsets;
    const bool wide = !offsets.empty() && *std::max_element(offsets.begin(), offsets.end()) > 0xFFFFFFFFull;
    setType(wide ? FourCCInt("co64") : FourCCInt("stco"));
}

void ChunkOffsetBox::writeBox(BitStream& bitstr)
{
    const bool wide = getType() == FourCCInt("co64");
    writeFullBoxHeader(bitstr);
    bitstr.writeU32(std::uint32_t(mChunkOffsets.size()));
    for (const auto offset : mChunkOffsets)
    {
        if (wide)
        {
            bitstr.writeU64(offset);
        }
        else
        {
            bitstr.writeU32(std::uint32_t(offset));
        }
    }
    updateSize(bitstr);
}

void ChunkOffsetBox::parseBox(BitStream& bitstr)
{
    parseFullBoxHeader(bitstr);
    const bool wide = getType() == FourCCInt("co64");
    const std::uint32_t entryCount = bitstr.readU32();
    checkEntriesFit(entryCount, wide ? 8 : 4, bitstr.numBytesLeft());
    mChunkOffsets.clear();
    mChunkOffsets.reserve(entryCount);
    for (std::uint32_t i = 0; i < entryCount; ++i)
    {
        mChunkOffsets.push_back(wide ? bitstr.readU64() : bitstr.readU32());
    }
}
