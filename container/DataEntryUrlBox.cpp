#include "DataEntryUrlBox.h"

DataEntryUrlBox::DataEntryUrlBox() : DataEntryBox(FourCCInt("url "), 0, 0) {}

void DataEntryUrlBox::writeBox(BitStream& bitstr)
{
    writeFullBoxHeader(bitstr);
    if ((getFlags() & kSelfContained) == 0)
    {
        bitstr.writeZeroTerminatedString(mLocation);
    }
    updateSize(bitstr);
}

void DataEntryUrlBox::parseBox(BitStream& bitstr)
{
    parseFullBoxHeader(bitstr);
    if ((getFlags() & kSelfContained) == 0)
    {
        bitstr.readZeroTerminatedString(mLocation);
    }
}
