#pragma once

#include <cstdint>
#include <vector>

#include "FullBox.h"

// 'stsz': one size for every sample, or a size per sample.
class SampleSizeBox : public FullBox
{
public:
    SampleSizeBox();
    ~SampleSizeBox() override = default;

    std::uint32_t getSampleSize() const { return mSampleSize; }
    void setSampleSize(std::uint32_t sampleSize) { mSampleSize = sampleSize; }
    std::uint32_t getSampleCount() const { return mSampleCount; }
    void setSampleCount(std::uint32_t sampleCount) { mSampleCount = sampleCount; }
    /// The size of every sample, also when one size is given for all.
    std::vector<std::uint32_t> getEntrySizes() const { return mEntrySize; }
    void setEntrySizes(const std::vector<std::uint32_t>& sizes) { mEntrySize = sizes; }

    void writeBox(BitStream& bitstr) override;
    /// A sample count past MAX_TRACK_RECORDS throws std::runtime_error; a size table shorter
    /// than the count throws std::out_of_range "vector" before anything is sized from it.
    void parseBox(BitStream& bitstr) override;

private:
    std::uint32_t mSampleSize = 0;
    std::uint32_t mSampleCount = 0;
    std::vector<std::uint32_t> mEntrySize;
};
