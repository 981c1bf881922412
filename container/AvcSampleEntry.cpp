#include "AvcSampleEntry.h"

#include "LogStream.h"

AvcSampleEntry::AvcSampleEntry() : VisualSampleEntryBox(FourCCInt("avc1"), "AVC Coding") {}

const CodingConstraintsBox* AvcSampleEntry::getCodingConstraintsBox() const
{
    return mIsCodingConstraintsPresent ? &mCodingConstraintsBox : nullptr;
}

void AvcSampleEntry::setCodingConstraintsBox(const CodingConstraintsBox& box)
{
    mCodingConstraintsBox = box;
    mIsCodingConstraintsPresent = true;
}

void AvcSampleEntry::writeBox(BitStream& bitstr)
{
    VisualSampleEntryBox::writeBox(bitstr);
    mAvcConfigurationBox.writeBox(bitstr);
    if (mIsCodingConstraintsPresent)
    {
        mCodingConstraintsBox.writeBox(bitstr);
    }
    updateSize(bitstr);
}

void AvcSampleEntry::parseBox(BitStream& bitstr)
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
        else if (type == FourCCInt("avcC"))
        {
            mAvcConfigurationBox.parseBox(child);
        }
        else
        {
            logWarning() << "Skipping unknown box of type '" << type << "' inside AvcSampleEntry" << std::endl;
        }
    }
}
