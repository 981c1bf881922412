#pragma once

#include <cstdint>
#include <vector>

#include "FullBox.h"

// 'stts': decode-time deltas as runs of (sample count, delta).
class TimeToSampleBox : public FullBox
{
public:
    struct EntryVersion0
    {
        std::uint32_t mSampleCount = 0;
        std::uint32_t mSampleDelta = 0;
    };

    TimeToSampleBox();
    ~TimeToSampleBox() override = default;

    /// One decode time per sample: the running sum of the deltas, first sample at 0. The sum is
    /// held in 32 bits and wraps, as the times of the table are 32-bit. More than
    /// MAX_TRACK_RECORDS samples throw std::runtime_error before anything is sized.
    std::vector<std::uint32_t> getDecodeTimes() const;
    /// Number of samples the runs cover.
    std::uint64_t getSampleCount() const;

    const std::vector<EntryVersion0>& getEntries() const { return mEntryVersion0; }
    void addEntry(const EntryVersion0& entry) { mEntryVersion0.push_back(entry); }

    void writeBox(BitStream& bitstr) override;
    void parseBox(BitStream& bitstr) override;

private:
    std::vector<EntryVersion0> mEntryVersion0;
};
