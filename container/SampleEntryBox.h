#pragma once

#include <cstdint>

#include "Box.h"

// Base of every sample entry of a sample description: six reserved bytes and the data
// reference index.
class SampleEntryBox : public Box
{
public:
    explicit SampleEntryBox(FourCCInt codingName);
    ~SampleEntryBox() override = default;

    std::uint16_t getDataReferenceIndex() const { return mDataReferenceIndex; }
    void setDataReferenceIndex(std::uint16_t dataReferenceIndex) { mDataReferenceIndex = dataReferenceIndex; }

    void writeBox(BitStream& bitstr) override;
    void parseBox(BitStream& bitstr) override;

private:
    std::uint16_t mDataReferenceIndex = 0;
};
