#pragma once

#include <cstdint>
#include <string>

#include "FullBox.h"

// An entry of 'dref': where a track's or an item's data lies.
class DataEntryBox : public FullBox
{
public:
    DataEntryBox(FourCCInt boxType, std::uint8_t version, std::uint32_t flags);
    ~DataEntryBox() override = default;

    const std::string& getLocation() const { return mLocation; }
    void setLocation(const std::string& location) { mLocation = location; }

    void writeBox(BitStream& bitstr) override = 0;
    void parseBox(BitStream& bitstr) override = 0;

protected:
    std::string mLocation;
};
