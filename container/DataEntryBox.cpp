#include "DataEntryBox.h"

DataEntryBox::DataEntryBox(FourCCInt boxType, std::uint8_t version, std::uint32_t flags)
    : FullBox(boxType, version, flags)
{
}
