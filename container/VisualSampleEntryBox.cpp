#include "VisualSampleEntryBox.h"

#include <stdexcept>

namespace
{
void checkCompressorName(const std::string& name)
{
    if (name.length() > VisualSampleEntryBox::COMPRESSORNAME_STRING_LENGTH)
    {
        throw std::runtime_error("VisualSampleEntryBox: compressor name longer than 31 bytes");
    }
}
}  // namespace

VisualSampleEntryBox::VisualSampleEntryBox(FourCCInt codingName, const std::string& compressorName)
    : SampleEntryBox(codingName)
{
    setCompressorName(compressorName);
}

void VisualSampleEntryBox::setCompressorName(const std::string& compressorName)
{
    checkCompressorName(compressorName);
    mCompressorName = compressorName;
}

void VisualSampleEntryBox::writeBox(BitStream& bitstr)
{
    // Checked again here: the name is the one field whose overflow would shift every later byte.
    checkCompressorName(mCompressorName);
    SampleEntryBox::writeBox(bitstr);
    bitstr.writeU16(0);  // pre_defined
    bitstr.writeU16(0);  // reserved
    for (int i = 0; i < 3; ++i)
    {
        bitstr.writeU32(0);  // pre_defined
    }
    bitstr.writeU16(mWidth);
    bitstr.writeU16(mHeight);
    bitstr.writeU32(0x00480000);  // horizresolution, 72 dpi
    bitstr.writeU32(0x00480000);  // vertresolution
    bitstr.writeU32(0);           // reserved
    bitstr.writeU16(1);           // frame_count
    bitstr.writeU8(std::uint8_t(mCompressorName.length()));
    for (std::uint32_t i = 0; i < COMPRESSORNAME_STRING_LENGTH; ++i)
    {
        bitstr.writeU8(i < mCompressorName.length() ? std::uint8_t(mCompressorName[i]) : 0);
    }
    bitstr.writeU16(0x0018);  // depth
    bitstr.writeU16(0xFFFF);  // pre_defined = -1
    updateSize(bitstr);
}

void VisualSampleEntryBox::parseBox(BitStream& bitstr)
{
    SampleEntryBox::parseBox(bitstr);
    bitstr.readU16();  // pre_defined
    bitstr.readU16();  // reserved
    for (int i = 0; i < 3; ++i)
    {
        bitstr.readU32();  // pre_defined
    }
    mWidth = std::uint16_t(bitstr.readU16());
    mHeight = std::uint16_t(bitstr.readU16());
    bitstr.readU32();  // horizresolution
    bitstr.readU32();  // vertresolution
    bitstr.readU32();  // reserved
    bitstr.readU16();  // frame_count

    const std::uint32_t nameLength = bitstr.readU8();
    if (nameLength > COMPRESSORNAME_STRING_LENGTH)
    {
        throw std::runtime_error("Too long compressorname string length read from VisualSampleEntry (>31 bytes).");
    }
    // The stored name is informative only; the entry keeps the name of its coding.
    std::string name;
    bitstr.readString(name, nameLength);
    bitstr.skipBytes(int(COMPRESSORNAME_STRING_LENGTH - nameLength));
    bitstr.readU16();  // depth
    bitstr.readU16();  // pre_defined

    mClap.reset();
    if (bitstr.numBytesLeft() > 0)
    {
        const std::uint32_t childStart = bitstr.getPos();
        FourCCInt type;
        BitStream child = bitstr.readChildBox(type);
        if (type == FourCCInt("clap"))
        {
            auto clap = std::make_shared<CleanAperture>();
            clap->parseBox(child);
            mClap = std::move(clap);
        }
        else
        {
            bitstr.setPosition(childStart);
        }
    }
}
