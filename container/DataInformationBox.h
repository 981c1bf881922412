#pragma once

#include <cstdint>
#include <memory>

#include "Box.h"
#include "DataReferenceBox.h"

// 'dinf': holds the 'dref' box.
class DataInformationBox : public Box
{
public:
    DataInformationBox();
    ~DataInformationBox() override = default;

    /// Forwards to the data reference box; returns its new entry count.
    std::uint32_t addDataEntryBox(std::shared_ptr<DataEntryBox> dataEntryBox);
    const DataReferenceBox& getDataReferenceBox() const { return mDataReferenceBox; }

    void writeBox(BitStream& bitstr) override;
    /// The first child, whatever its type, is read as the 'dref'; further
    /// children are ignored. An empty box is reported on the error log and stays
    /// empty.
    void parseBox(BitStream& bitstr) override;

private:
    DataReferenceBox mDataReferenceBox;
};
