#include "DataEntryUrnBox.h"

DataEntryUrnBox::DataEntryUrnBox() : DataEntryBox(FourCCInt("urn "), 0, 0) {}

void DataEntryUrnBox::writeBox(BitStream& bitstr)
{
    writeFullBoxHeader(bitstr);
    bitstr.writeZeroTerminatedString(mName);
    bitstr.writeZeroTerminatedString(mLocation);
    updateSize(bitstr);
}

void DataEntryUrnBox::parseBox(BitStream& bitstr)
{
    parseFullBoxHeader(bitstr);
    bitstr.readZeroTerminatedString(mName);
    bitstr.readZeroTerminatedString(mLocation);
}
