#pragma once

#include <cstdint>
#include <vector>

#include "FullBox.h"

// 'ctts': composition offsets as runs; version 0 stores unsigned offsets, version 1 signed.
class CompositionOffsetBox : public FullBox
{
public:
    struct EntryVersion0
    {
        std::uint32_t mSampleCount = 0;
        std::uint32_t mSampleOffset = 0;
    };
    struct EntryVersion1
    {
        std::uint32_t mSampleCount = 0;
        std::int32_t mSampleOffset = 0;
    };

    CompositionOffsetBox();
    ~CompositionOffsetBox() override = default;

    /// Throws std::runtime_error unless the version is 0 and no version-1 entry is held.
    void addCompositionOffsetEntryVersion0(const EntryVersion0& entry);
    /// Throws std::runtime_error unless the version is 1 and no version-0 entry is held.
    void addCompositionOffsetEntryVersion1(const EntryVersion1& entry);

    /// Number of samples the runs of the box's version cover.
    std::uint64_t getSampleCount() const;
    /// One offset per sample from the runs of the box's version (version-0 offsets keep their
    /// 32 bits); empty for other versions. More than MAX_TRACK_RECORDS samples throw
    /// std::runtime_error before anything is sized.
    std::vector<std::int32_t> getSampleCompositionOffsets() const;

    const std::vector<EntryVersion0>& getEntriesVersion0() const { return mEntryVersion0; }
    const std::vector<EntryVersion1>& getEntriesVersion1() const { return mEntryVersion1; }

    void writeBox(BitStream& bitstr) override;
    void parseBox(BitStream& bitstr) override;

private:
    std::vector<EntryVersion0> mEntryVersion0;
    std::vector<EntryVersion1> mEntryVersion1;
};
