#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "FullBox.h"
#include "SampleGroupEntry.h"

// 'sgpd': the entries of one sample grouping. Only 'refs' entries are understood; entries of
// other grouping types are dropped on reading.
class SampleGroupDescriptionBox : public FullBox
{
public:
    SampleGroupDescriptionBox();
    ~SampleGroupDescriptionBox() override = default;

    const std::string& getGroupingType() const { return mGroupingType; }
    /// Throws std::runtime_error unless the type has 4 characters.
    void setGroupingType(const std::string& groupingType);
    std::uint32_t getDefaultLength() const { return mDefaultLength; }
    void setDefaultLength(std::uint32_t defaultLength) { mDefaultLength = defaultLength; }

    void addEntry(std::unique_ptr<SampleGroupEntry> entry) { mSampleGroupEntry.push_back(std::move(entry)); }
    std::uint32_t getEntryCount() const { return std::uint32_t(mSampleGroupEntry.size()); }
    /// Entry by 1-based index; out of range throws std::out_of_range "vector".
    const SampleGroupEntry* getEntry(std::uint32_t index) const;
    /// 1-based index of the first 'refs' entry with the sample ID; throws std::runtime_error
    /// when there is none.
    std::uint32_t getEntryIndexOfSampleId(std::uint32_t sampleId) const;

    void writeBox(BitStream& bitstr) override;
    void parseBox(BitStream& bitstr) override;

private:
    std::string mGroupingType;
    std::uint32_t mDefaultLength = 0;
    std::vector<std::unique_ptr<SampleGroupEntry>> mSampleGroupEntry;
};
