#pragma once

#include <cstdint>
#include <vector>

#include "FullBox.h"

// 'stco' (32-bit offsets) or 'co64' (64-bit offsets); the box type says the width on disk, the
// offsets are held as 64-bit values either way.
class ChunkOffsetBox : public FullBox
{
public:
    ChunkOffsetBox();
    ~ChunkOffsetBox() override = default;

    std::vector<std::uint64_t> getChunkOffsets() const { return mChunkOffsets; }
    std::uint32_t getChunkCount() const { return std::uint32_t(mChunkOffsets.size()); }
    /// Replaces the offsets and picks 'co64' when one needs more than 32 bits, else 'stco'.
    void setChunkOffsets(const std::vector<std::uint64_t>& offsets);

    /// 'stco' keeps the low 32 bits of each offset.
    void writeBox(BitStream& bitstr) override;
    void parseBox(BitStream& bitstr) override;

private:
    std::vector<std::uint64_t> mChunkOffsets;
};
