#pragma once

#include <cstdint>
#include <memory>
#include <vector>

#include "DataEntryBox.h"
#include "FullBox.h"

// 'dref': the data entries ('url ', 'urn ') that data reference indexes point
// into, 1-based.
class DataReferenceBox : public FullBox
{
public:
    DataReferenceBox();
    ~DataReferenceBox() override = default;

    /// Appends; returns the new entry count.
    std::uint32_t addEntry(std::shared_ptr<DataEntryBox> dataEntryBox);
    const std::vector<std::shared_ptr<DataEntryBox>>& getEntries() const { return mDataEntries; }

    void writeBox(BitStream& bitstr) override;
    /// An entry of another type than 'url ' or 'urn ' throws std::runtime_error
    /// "An unknown box inside dref"; the entries read before it stay.
    void parseBox(BitStream& bitstr) override;

private:
    std::vector<std::shared_ptr<DataEntryBox>> mDataEntries;
};
