#include "SampleEntryBox.h"

SampleEntryBox::SampleEntryBox(FourCCInt codingName) : Box(codingName) {}

void SampleEntryBox::writeBox(BitStream& bitstr)
{
    writeBoxHeader(bitstr);
    for (int i = 0; i < 6; ++i)
    {
        bitstr.writeU8(0);  // reserved
    }
    bitstr.writeU16(mDataReferenceIndex);
    // Subclasses append their fields and patch the size again.
    updateSize(bitstr);
}

void SampleEntryBox::parseBox(BitStream& bitstr)
{
    parseBoxHeader(bitstr);
    for (int i = 0; i < 6; ++i)
    {
        bitstr.readU8();  // reserved
    }
    mDataReferenceIndex = std::uint16_t(bitstr.readU16());
}
