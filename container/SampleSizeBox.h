#pragma once

#include <cstdint>
#include <vector>

#include "FullBox.h"

// 'stsz': one size for every sample, or a size per sample. One size for all is kept as that one
// number, so a count of millions costs nothing until sizes are asked for.
class SampleSizeBox : public FullBox
{
public:
    SampleSizeBox();
    ~SampleSizeBox() override = default;

    std::uint32_t getSampleSize() const { return mSampleSize; }
    void setSampleSize(std::uint32_t sampleSize) { mSampleSize = sampleSize; }
    std::uint32_t getSampleCount() const { return mSampleCount; }
    void setSampleCount(std::uint32_t sampleCount) { mSampleCount = sampleCount; }
    /// The size of the 0-based sample; an index past the count (or the table) throws
    /// std::out_of_range "vector".
    std::uint32_t getEntrySize(std::uint32_t sampleIndex) const;
    /// The size of every sample, also when one size is given for all (then built on each call,
    /// four bytes a sample).
    std::vector<std::uint32_t> getEntrySizes() const;
    /// The per-sample table, used when the one size is 0.
    void setEntrySizes(const std::vector<std::uint32_t>& sizes) { mEntrySize = sizes; }

    void writeBox(BitStream& bitstr) override;
    /// A size table shorter than the count throws std::out_of_range "vector" before anything is
    /// sized from it.
    void parseBox(BitStream& bitstr) override;

private:
    std::uint32_t mSampleSize = 0;
    std::uint32_t mSampleCount = 0;
    std::vector<std::uint32_t> mEntrySize;  // only when mSampleSize is 0
};
