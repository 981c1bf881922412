#include "ItemPropertiesBox.h"

#include <map>
#include <stdexcept>

#include "LogStream.h"

namespace
{
constexpr std::uint32_t kMaxIndex = 0x7FFF;  // 15-bit ipma index

const std::map<FourCCInt, ItemPropertiesBox::PropertyType>& propertyTypes()
{
    using Type = ItemPropertiesBox::PropertyType;
    static const std::map<FourCCInt, Type> table = {
        {FourCCInt("auxC"), Type::AUXC}, {FourCCInt("avcC"), Type::AVCC}, {FourCCInt("clap"), Type::CLAP},
        {FourCCInt("hvcC"), Type::HVCC}, {FourCCInt("imir"), Type::IMIR}, {FourCCInt("irot"), Type::IROT},
        {FourCCInt("ispe"), Type::ISPE}, {FourCCInt("lhvC"), Type::LHVC}, {FourCCInt("lsel"), Type::LSEL},
        {FourCCInt("oinf"), Type::OINF}, {FourCCInt("rloc"), Type::RLOC}, {FourCCInt("tols"), Type::TOLS},
        {FourCCInt("colr"), Type::COLR}};
    return table;
}
}  // namespace

ItemPropertiesBox::ItemPropertiesBox() : Box(FourCCInt("iprp")) {}

ItemPropertiesBox::PropertyType ItemPropertiesBox::getPropertyType(const Box* property)
{
    if (property == nullptr)
    {
        return PropertyType::UNKNOWN;
    }
    const auto& table = propertyTypes();
    const auto it = table.find(property->getType());
    return it == table.end() ? PropertyType::UNKNOWN : it->second;
}

ItemPropertiesBox::PropertyType ItemPropertiesBox::typeAt(std::uint16_t index) const
{
    if (index == 0)
    {
        return PropertyType::UNKNOWN;
    }
    return getPropertyType(mContainer.getProperty(index - 1u).get());
}

std::uint32_t ItemPropertiesBox::findPropertyIndex(PropertyType type, std::uint32_t itemId) const
{
    const auto* entries = mAssociation.findAssociationEntries(itemId);
    if (entries == nullptr)
    {
        return 0;
    }
    for (const auto& entry : *entries)
    {
        if (typeAt(entry.index) == type)
        {
            return entry.index;
        }
    }
    return 0;
}

std::vector<ItemPropertiesBox::PropertyInfo> ItemPropertiesBox::getItemProperties(std::uint32_t itemId) const
{
    std::vector<PropertyInfo> infos;
    const auto* entries = mAssociation.findAssociationEntries(itemId);
    if (entries == nullptr)
    {
        return infos;
    }
    infos.reserve(entries->size());
    for (const auto& entry : *entries)
    {
        infos.push_back(PropertyInfo{typeAt(entry.index), std::uint32_t(entry.index) - 1u, entry.essential});
    }
    return infos;
}

std::uint32_t ItemPropertiesBox::addProperty(std::shared_ptr<Box> property, const std::vector<std::uint32_t>& itemIds,
                                             bool essential)
{
    if (mContainer.findSameProperty(property) < 0 && mContainer.getPropertyCount() >= kMaxIndex)
    {
        throw std::runtime_error("ItemPropertiesBox::addProperty() too many properties for ipma indices");
    }
    const std::uint32_t index = mContainer.addProperty(std::move(property));
    associateProperty(index + 1, itemIds, essential);
    return index;
}

void ItemPropertiesBox::associateProperty(std::uint32_t index, const std::vector<std::uint32_t>& itemIds,
                                          bool essential)
{
    if (index > kMaxIndex)
    {
        throw std::runtime_error("ItemPropertiesBox::associateProperty() property index " + std::to_string(index) +
                                 " does not fit ipma");
    }
    for (auto itemId : itemIds)
    {
        mAssociation.addEntry(itemId, std::uint16_t(index), essential);
    }
}

void ItemPropertiesBox::writeBox(BitStream& bitstr)
{
    // The association may refuse its content; it goes first so a refusal leaves nothing behind.
    BitStream association;
    mAssociation.writeBox(association);
    writeBoxHeader(bitstr);
    mContainer.writeBox(bitstr);
    bitstr.writeBytes(association.getStorage(), association.getSize());
    updateSize(bitstr);
}

void ItemPropertiesBox::parseBox(BitStream& bitstr)
{
    parseBoxHeader(bitstr);

    // The first child is taken as the container whatever its type.
    FourCCInt type;
    BitStream container = bitstr.readChildBox(type);
    mContainer.parseBox(container);

    BitStream association = bitstr.readChildBox(type);
    if (type != FourCCInt("ipma"))
    {
        throw std::runtime_error("ItemPropertiesBox includes a box which is not ipma");
    }
    mAssociation.parseBox(association);

    if (bitstr.numBytesLeft() > 0)
    {
        logWarning()
            << "ItemPropertiesBox::parseBox() supports currently only one ipma box, but there seems to  be more."
            << std::endl;
    }
}
