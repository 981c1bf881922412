#include "ItemProtectionBox.h"

#include <stdexcept>

ItemProtectionBox::ItemProtectionBox() : FullBox(FourCCInt("ipro"), 0, 0) {}

std::uint16_t ItemProtectionBox::addProtectionSchemeInfoBox(const ProtectionSchemeInfoBox& box)
{
    if (mProtectionInformation.size() >= 0xFFFF)
    {
        throw std::runtime_error("ItemProtectionBox: more than 65535 protection schemes");
    }
    mProtectionInformation.push_back(box);
    return static_cast<std::uint16_t>(mProtectionInformation.size() - 1);
}

const ProtectionSchemeInfoBox& ItemProtectionBox::getProtectionSchemeInfoBox(std::uint16_t index) const
{
    if (index >= mProtectionInformation.size())
    {
        throwVectorOutOfRange();
    }
    return mProtectionInformation[index];
}

void ItemProtectionBox::writeBox(BitStream& bitstr)
{
    if (mProtectionInformation.empty())
    {
        return;
    }
    writeFullBoxHeader(bitstr);
    bitstr.writeU16(getCount());
    for (const auto& box : mProtectionInformation)
    {
        bitstr.writeBytes(box.mData, static_cast<std::uint32_t>(box.mData.size()));
    }
    updateSize(bitstr);
}

void ItemProtectionBox::parseBox(BitStream& bitstr)
{
    parseFullBoxHeader(bitstr);
    const std::uint32_t count = bitstr.readU16();
    for (std::uint32_t i = 0; i < count; ++i)
    {
        FourCCInt type;
        const BitStream child = bitstr.readChildBox(type);
        addProtectionSchemeInfoBox({child.getStorage()});
    }
}
