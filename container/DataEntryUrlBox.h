#pragma once

#include "DataEntryBox.h"

// 'url ': flags bit 0 set means the data is in this same file and no location
// is stored.
class DataEntryUrlBox : public DataEntryBox
{
public:
    static constexpr std::uint32_t kSelfContained = 1;

    DataEntryUrlBox();
    ~DataEntryUrlBox() override = default;

    void writeBox(BitStream& bitstr) override;
    void parseBox(BitStream& bitstr) override;
};
