#include "CodedSampleEntryBox.h"

#include "LogStream.h"

CodedSampleEntryBox::CodedSampleEntryBox(FourCCInt codingName, const std::string& compressorName, const char* entryName)
    : VisualSampleEntryBox(codingName, compressorName), mEntryName(entryName)
{
}

const CodingConstraintsBox* CodedSampleEntryBox::getCodingConstraintsBox() const
{
    return mIsCodingConstraintsPresent ? &mCodingConstraintsBox : nullptr;
}

void CodedSampleEntryBox::setCodingConstraintsBox(const CodingConstraintsBox& box)
{
    mCodingConstraintsBox = box;
    mIsCodingConstraintsPresent = true;
}

void CodedSampleEntryBox::writeBox(BitStream& bitstr)
{
    VisualSampleEntryBox::writeBox(bitstr);
    getDecoderConfigurationBox().writeBox(bitstr);
    if (mIsCodingConstraintsPresent)
    {
        mCodingConstraintsBox.writeBox(bitstr);
    }
    updateSize(bitstr);
}

void CodedSampleEntryBox::parseBox(BitStream& bitstr)
{
    VisualSampleEntryBox::parseBox(bitstr);
    Box& configuration = getDecoderConfigurationBox();
    const FourCCInt configurationType = configuration.getType();
    while (bitstr.numBytesLeft() > 0)
    {
        FourCCInt type;
        BitStream child = bitstr.readChildBox(type);
        if (type == FourCCInt("ccst"))
        {
            mCodingConstraintsBox.parseBox(child);
            mIsCodingConstraintsPresent = true;
        }
        else if (type == configurationType)
        {
            configuration.parseBox(child);
        }
        else
        {
            logWarning() << "Skipping unknown box of type '" << type << "' inside " << mEntryName << std::endl;
        }
    }
}
