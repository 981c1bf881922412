#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "FullBox.h"

// 'sbgp': maps runs of samples to the entries of the sample group description of the same
// grouping type. Sample look-ups search the runs, so the box costs its runs however many samples
// they cover.
class SampleToGroupBox : public FullBox
{
public:
    struct SampleToGroupEntry
    {
        std::uint32_t mSampleCount = 0;
        std::uint32_t mGroupDescriptionIndex = 0;
    };

    SampleToGroupBox();
    ~SampleToGroupBox() override = default;

    const std::string& getGroupingType() const { return mGroupingType; }
    /// Throws std::runtime_error unless the type has 4 characters.
    void setGroupingType(const std::string& groupingType);
    std::uint32_t getGroupingTypeParameter() const { return mGroupingTypeParameter; }
    void setGroupingTypeParameter(std::uint32_t parameter) { mGroupingTypeParameter = parameter; }
    std::uint32_t getEntryCount() const { return mEntryCount; }

    /// Appends a run and sets the entry count to the number of runs.
    void addSampleRun(std::uint32_t sampleCount, std::uint32_t groupDescriptionIndex);

    /// Group description index of a 0-based sample; 0 (no group) past the table.
    std::uint32_t getSampleGroupDescriptionIndex(std::uint32_t sampleIndex) const;
    /// 0-based index of the first sample mapped to the group description index; throws
    /// std::runtime_error when no sample is.
    std::uint32_t getSampleId(std::uint32_t groupDescriptionIndex) const;
    /// Number of samples the runs cover (which may exceed 32 bits in a hostile table).
    std::uint64_t getNumberOfSamples() const { return mSampleCount; }
    const std::vector<SampleToGroupEntry>& getEntries() const { return mRunOfSamples; }
    /// 0-based first sample of each run, in run order.
    const std::vector<std::uint64_t>& getRunStarts() const { return mRunStart; }

    void writeBox(BitStream& bitstr) override;
    void parseBox(BitStream& bitstr) override;

private:
    /// Rebuilds the first sample of each run.
    void indexRuns();

    std::string mGroupingType;
    std::uint32_t mGroupingTypeParameter = 0;
    std::uint32_t mEntryCount = 0;
    std::vector<SampleToGroupEntry> mRunOfSamples;
    std::vector<std::uint64_t> mRunStart;
    std::uint64_t mSampleCount = 0;
};
