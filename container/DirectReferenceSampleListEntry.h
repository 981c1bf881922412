#pragma once

#include <cstdint>
#include <vector>

#include "SampleGroupEntry.h"

// 'refs' sample group entry: a sample ID and the IDs of the samples it references directly.
class DirectReferenceSampleListEntry : public SampleGroupEntry
{
public:
    DirectReferenceSampleListEntry() = default;
    ~DirectReferenceSampleListEntry() override = default;

    std::uint32_t getSampleId() const { return mSampleId; }
    void setSampleId(std::uint32_t sampleId) { mSampleId = sampleId; }
    std::vector<std::uint32_t> getDirectReferenceSampleIds() const { return mDirectReferenceSampleIds; }
    /// The count is stored in 8 bits: 256 or more IDs throw std::runtime_error.
    void setDirectReferenceSampleIds(const std::vector<std::uint32_t>& referenceSampleIds);

    std::uint32_t getSize() const override;
    void writeEntry(BitStream& bitstr) override;
    void parseEntry(BitStream& bitstr) override;

private:
    std::uint32_t mSampleId = 0;
    std::vector<std::uint32_t> mDirectReferenceSampleIds;
};
