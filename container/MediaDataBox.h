#pragma once

#include <cstdint>
#include <utility>
#include <vector>

#include "Box.h"

/// Finds the next Annex B start code at or after `from`: its index and length (the zero bytes
/// plus the 1). Without one, the index is the data's size and the length 0.
std::pair<std::size_t, std::size_t> findStartCode(const std::vector<std::uint8_t>& data, std::size_t from);

// 'mdat' for writers: the box keeps its own serialised bytes, header included, and records
// where each added block begins. Readers never parse its contents.
class MediaDataBox : public Box
{
public:
    MediaDataBox();
    ~MediaDataBox() override = default;

    /// Appends a block; returns its offset from the start of the box.
    std::uint32_t addData(const std::vector<std::uint8_t>& data);
    /// Appends an Annex B byte stream as NAL units with 4-byte length prefixes.
    void addNalData(const std::vector<std::uint8_t>& byteStream);
    /// Appends several byte streams, recorded as one block.
    void addNalData(const std::vector<std::vector<std::uint8_t>>& byteStreams);

    const BitStream& getSerializedData() const { return mData; }
    const std::vector<std::uint32_t>& getDataOffsets() const { return mDataOffsets; }
    const std::vector<std::uint32_t>& getDataLengths() const { return mDataLengths; }

    void writeBox(BitStream& bitstr) override;
    void parseBox(BitStream& bitstr) override;

private:
    std::uint32_t appendNalUnits(const std::vector<std::uint8_t>& byteStream);

    BitStream mData;
    std::vector<std::uint32_t> mDataOffsets;
    std::vector<std::uint32_t> mDataLengths;
};
