#include "HevcSampleEntry.h"

#include "LogStream.h"

HevcSampleEntry::HevcSampleEntry() : VisualSampleEntryBox(FourCCInt("hvc1"), "HEVC Coding") {}

const CodingConstraintsBox* HevcSampleEntry::getCodingConstraintsBox() const
{
    return mIsCodingConstraintsPresent ? &mCodingConstraintsBox : nullptr;
}

void HevcSampleEntry::setCodingConstraintsBox(const CodingConstraintsBox& box)
{
    mCodingConstraintsBox = box;
    mIsCodingConstraintsPresent = true;
}

void HevcSampleEntry::writeBox(BitStream& bitstr)
{
    VisualSampleEntryBox::writeBox(bitstr);
    mHevcConfigurationBox.writeBox(bitstr);
    if (mIsCodingConstraintsPresent)
    {
        mCodingConstraintsBox.writeBox(bitstr);
    }
    updateSize(bitstr);
}

void HevcSampleEntry::parseBox(BitStream& bitstr)
{
    VisualSampleEntryBox::parseBox(bitstr);
    while (bitstr.numBytesLeft() > 0)
    {
        FourCCInt type;
        BitStream child = bitstr.readChildBox(type);
        if (type == FourCCInt("ccst"))
        {
            mCodingConstraintsBox.parseBox(child);
            mIsCodingConstraintsPresent = true;
        }
        else if (type == FourCCInt("hvcC"))
        {
            mHevcConfigurationBox.parseBox(child);
        }
        else
        {
            logWarning() << "Skipping unknown box of type '" << type << "' inside HevcSampleEntry" << std::endl;
        }
    }
}
