#include "DataReferenceBox.h"

#include <stdexcept>

#include "DataEntryUrlBox.h"
#include "DataEntryUrnBox.h"

DataReferenceBox::DataReferenceBox() : FullBox(FourCCInt("dref"), 0, 0) {}

std::uint32_t DataReferenceBox::addEntry(std::shared_ptr<DataEntryBox> dataEntryBox)
{
    mDataEntries.push_back(std::move(dataEntryBox));
    return static_cast<std::uint32_t>(mDataEntries.size());
}

void DataReferenceBox::writeBox(BitStream& bitstr)
{
    writeFullBoxHeader(bitstr);
    bitstr.writeU32(static_cast<std::uint32_t>(mDataEntries.size()));
    for (const auto& entry : mDataEntries)
    {
        entry->writeBox(bitstr);
    }
    updateSize(bitstr);
}

void DataReferenceBox::parseBox(BitStream& bitstr)
{
    parseFullBoxHeader(bitstr);
    const std::uint32_t entryCount = bitstr.readU32();
    // No reservation from the count: every entry takes at least a box header, so
    // a hostile count ends with the data.
    for (std::uint32_t i = 0; i < entryCount; ++i)
    {
        FourCCInt type;
        BitStream child = bitstr.readChildBox(type);
        std::shared_ptr<DataEntryBox> entry;
        if (type == FourCCInt("url "))
        {
            entry = std::make_shared<DataEntryUrlBox>();
        }
        else if (type == FourCCInt("urn "))
        {
            entry = std::make_shared<DataEntryUrnBox>();
        }
        else
        {
            throw std::runtime_error("An unknown box inside dref");
        }
        entry->parseBox(child);
        mDataEntries.push_back(entry);
    }
}
