#pragma once

#include <string>

#include "DataEntryBox.h"

// 'urn ': a name and a location.
class DataEntryUrnBox : public DataEntryBox
{
public:
    DataEntryUrnBox();
    ~DataEntryUrnBox() override = default;

    std::string getName() const { return mName; }
    void setName(const std::string& name) { mName = name; }

    void writeBox(BitStream& bitstr) override;
    void parseBox(BitStream& bitstr) override;

private:
    std::string mName;
};
