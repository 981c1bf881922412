#pragma once

#include "BitStream.h"
#include "Box.h"

// A box that holds exactly one decoder configuration record ('avcC', 'hvcC', 'lhvC'). The
// record type provides writeDecConfigRecord and parseConfig.
template <typename Record>
class DecoderConfigurationBox : public Box
{
public:
    ~DecoderConfigurationBox() override = default;

    void writeBox(BitStream& bitstr) override
    {
        // The record refuses what its fields cannot hold before the header is written.
        BitStream record;
        mConfig.writeDecConfigRecord(record);
        writeBoxHeader(bitstr);
        bitstr.writeBytes(record.getStorage(), record.getSize());
        updateSize(bitstr);
    }

    void parseBox(BitStream& bitstr) override
    {
        parseBoxHeader(bitstr);
        mConfig.parseConfig(bitstr);
    }

protected:
    explicit DecoderConfigurationBox(FourCCInt boxType) : Box(boxType) {}

    Record mConfig;
};
