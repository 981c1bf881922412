#pragma once

#include <cstdint>
#include <vector>

#include "FullBox.h"

// 'stss': the 1-based numbers of the sync samples.
class SyncSampleBox : public FullBox
{
public:
    SyncSampleBox();
    ~SyncSampleBox() override = default;

    void addSample(std::uint32_t sampleNumber) { mSampleNumbers.push_back(sampleNumber); }
    const std::vector<std::uint32_t>& getSyncSampleIds() const { return mSampleNumbers; }

    void writeBox(BitStream& bitstr) override;
    void parseBox(BitStream& bitstr) override;

private:
    std::vector<std::uint32_t> mSampleNumbers;
};
