#include "AvcConfigurationBox.h"

AvcConfigurationBox::AvcConfigurationBox() : Box(FourCCInt("avcC")) {}

void AvcConfigurationBox::writeBox(BitStream& bitstr)
{
    // The record refuses what its fields cannot hold before the header is written.
    BitStream record;
    mConfig.writeDecConfigRecord(record);
    writeBoxHeader(bitstr);
    bitstr.writeBytes(record.getStorage(), record.getSize());
    updateSize(bitstr);
}

void AvcConfigurationBox::parseBox(BitStream& bitstr)
{
    parseBoxHeader(bitstr);
    mConfig.parseConfig(bitstr);
}
