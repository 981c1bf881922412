#include "SampleDescriptionBox.h"

#include <stdexcept>

#include "AvcSampleEntry.h"
#include "HevcSampleEntry.h"
#include "LogStream.h"

namespace
{
/// The entry class for a coding name, or null for a coding this library does not read.
std::unique_ptr<SampleEntryBox> makeSampleEntry(FourCCInt type)
{
    if (type == FourCCInt("avc1"))
    {
        return std::make_unique<AvcSampleEntry>();
    }
    if (type == FourCCInt("hev1") || type == FourCCInt("hvc1"))
    {
        return std::make_unique<HevcSampleEntry>();
    }
    return nullptr;
}
}  // namespace

SampleDescriptionBox::SampleDescriptionBox() : FullBox(FourCCInt("stsd"), 0, 0) {}

VisualSampleEntryBox* SampleDescriptionBox::getSampleEntry(std::uint32_t index) const
{
    if (index == 0 || index > mIndex.size())
    {
        throw std::runtime_error("SampleDescriptionBox::getSampleEntry invalid sample entry index.");
    }
    auto* entry = dynamic_cast<VisualSampleEntryBox*>(mIndex[index - 1].get());
    if (entry == nullptr)
    {
        throw std::runtime_error("SampleDescriptionBox::getSampleEntry invalid entry type.");
    }
    return entry;
}

void SampleDescriptionBox::writeBox(BitStream& bitstr)
{
    writeFullBoxHeader(bitstr);
    bitstr.writeU32(std::uint32_t(mIndex.size()));
    for (const auto& entry : mIndex)
    {
        if (!entry)
        {
            throw std::runtime_error("SampleDescriptionBox::writeBox can not write file because an unknown sample "
                                     "entry type was present when the file was read.");
        }
        entry->writeBox(bitstr);
    }
    updateSize(bitstr);
}

void SampleDescriptionBox::parseBox(BitStream& bitstr)
{
    parseFullBoxHeader(bitstr);
    const std::uint32_t entryCount = bitstr.readU32();
    mIndex.clear();
    // Each entry takes at least a box header, so the count cannot outrun the bytes for long.
    for (std::uint32_t i = 0; i < entryCount; ++i)
    {
        FourCCInt type;
        BitStream child = bitstr.readChildBox(type);
        std::unique_ptr<SampleEntryBox> entry = makeSampleEntry(type);
        if (entry)
        {
            entry->parseBox(child);
        }
        else
        {
            logWarning() << "Skipping unknown SampleDescriptionBox entry of type '" << type << "'" << std::endl;
        }
        mIndex.push_back(std::move(entry));
    }
}
