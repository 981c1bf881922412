#include "DataInformationBox.h"

#include "LogStream.h"

DataInformationBox::DataInformationBox() : Box(FourCCInt("dinf")) {}

std::uint32_t DataInformationBox::addDataEntryBox(std::shared_ptr<DataEntryBox> dataEntryBox)
{
    return mDataReferenceBox.addEntry(std::move(dataEntryBox));
}

void DataInformationBox::writeBox(BitStream& bitstr)
{
    writeBoxHeader(bitstr);
    mDataReferenceBox.writeBox(bitstr);
    updateSize(bitstr);
}

void DataInformationBox::parseBox(BitStream& bitstr)
{
    parseBoxHeader(bitstr);
    if (bitstr.numBytesLeft() == 0)
    {
        logError() << "Read an empty dinf box." << std::endl;
        return;
    }
    FourCCInt type;
    BitStream child = bitstr.readChildBox(type);
    mDataReferenceBox.parseBox(child);
}
