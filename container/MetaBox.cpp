#include "MetaBox.h"

#include <stdexcept>

#include "EntityToGroupBox.h"

namespace
{
constexpr std::uint32_t code(const char (&text)[5])
{
    return (std::uint32_t(std::uint8_t(text[0])) << 24) | (std::uint32_t(std::uint8_t(text[1])) << 16) |
           (std::uint32_t(std::uint8_t(text[2])) << 8) | std::uint32_t(std::uint8_t(text[3]));
}
}  // namespace

MetaBox::MetaBox() : FullBox(FourCCInt("meta"), 0, 0), mItemInfoBox(2) {}

void MetaBox::addItem(std::uint32_t itemId, const std::string& itemType, const std::string& name, bool hidden)
{
    ItemInfoEntry entry;
    // Version 2 carries a 16-bit id; larger ids need version 3 rather than being cut.
    entry.setVersion(itemId > 0xFFFF ? 3 : 2);
    entry.setFlags(hidden ? 1 : 0);
    entry.setItemID(itemId);
    entry.setItemType(itemType);
    entry.setItemName(name);
    mItemInfoBox.addItemInfoEntry(entry);
}

void MetaBox::addFileItem(std::uint32_t itemId, const std::string& itemType, const std::string& name,
                          std::uint64_t baseOffset)
{
    addItem(itemId, itemType, name, false);
    ItemLocation location;
    location.setItemID(itemId);
    location.setConstructionMethod(ItemLocation::kFileOffset);
    location.setBaseOffset(baseOffset);
    mItemLocationBox.addLocation(location);
}

void MetaBox::addIloc(std::uint32_t itemId, std::uint64_t offset, std::uint64_t length, std::uint64_t baseOffset)
{
    ItemLocation location;
    location.setItemID(itemId);
    location.setBaseOffset(baseOffset);
    location.addExtent(ItemLocationExtent{0, offset, length});
    mItemLocationBox.addLocation(location);
}

void MetaBox::addMdatExtent(std::uint32_t itemId, std::uint64_t offset, std::uint64_t length)
{
    mItemLocationBox.addExtent(itemId, ItemLocationExtent{0, offset, length});
}

void MetaBox::addIdatItem(std::uint32_t itemId, const std::string& itemType, const std::string& name,
                          const std::vector<std::uint8_t>& data)
{
    const std::uint32_t offset = mItemDataBox.addData(data);
    addItem(itemId, itemType, name, false);
    ItemLocation location;
    location.setItemID(itemId);
    location.setConstructionMethod(ItemLocation::kIdatOffset);
    location.addExtent(ItemLocationExtent{0, offset, data.size()});
    mItemLocationBox.addLocation(location);
}

void MetaBox::addIdatExtent(std::uint32_t itemId, const std::vector<std::uint8_t>& data)
{
    // Checked first so that a refused extent leaves no orphaned bytes in 'idat'.
    if (!mItemLocationBox.hasItemIdEntry(itemId))
    {
        throw std::runtime_error("ItemLocationBox::addExtent() invalid item id");
    }
    const std::uint32_t offset = mItemDataBox.addData(data);
    mItemLocationBox.addExtent(itemId, ItemLocationExtent{0, offset, data.size()});
}

void MetaBox::addItemReference(FourCCInt type, std::uint32_t fromId, std::uint32_t toId)
{
    mItemReferenceBox.add(type, fromId, toId);
}

std::uint32_t MetaBox::addProperty(std::shared_ptr<Box> property, const std::vector<std::uint32_t>& itemIds,
                                   bool essential)
{
    return mItemPropertiesBox.addProperty(std::move(property), itemIds, essential);
}

void MetaBox::addProperty(std::uint32_t propertyIndex, const std::vector<std::uint32_t>& itemIds, bool essential)
{
    mItemPropertiesBox.associateProperty(propertyIndex, itemIds, essential);
}

void MetaBox::addEntityGroup(FourCCInt groupingType, const std::vector<std::uint32_t>& entityIds)
{
    EntityToGroupBox group;
    group.setType(groupingType);
    group.setEntityIds(entityIds);
    mGroupsListBox.addEntityToGroupBox(group);
}

void MetaBox::writeBox(BitStream& bitstr)
{
    // Built aside and appended whole, so a member that refuses its content leaves no partial
    // meta box in the caller's stream.
    BitStream meta;
    writeFullBoxHeader(meta);
    mHandlerBox.writeBox(meta);
    mPrimaryItemBox.writeBox(meta);
    mItemLocationBox.writeBox(meta);
    mItemProtectionBox.writeBox(meta);
    mItemInfoBox.writeBox(meta);
    mItemReferenceBox.writeBox(meta);
    mItemDataBox.writeBox(meta);
    mItemPropertiesBox.writeBox(meta);
    mGroupsListBox.writeBox(meta);
    updateSize(meta);
    bitstr.writeBytes(meta.getStorage(), meta.getSize());
}

void MetaBox::parseBox(BitStream& bitstr)
{
    parseFullBoxHeader(bitstr);
    while (bitstr.numBytesLeft() > 0)
    {
        FourCCInt type;
        BitStream child = bitstr.readChildBox(type);
        switch (type.getUInt32())
        {
        case code("dinf"):
            mDataInformationBox.parseBox(child);
            break;
        case code("grpl"):
            mGroupsListBox.parseBox(child);
            break;
        case code("hdlr"):
            mHandlerBox.parseBox(child);
            break;
        case code("idat"):
            mItemDataBox.parseBox(child);
            break;
        case code("iinf"):
            mItemInfoBox.parseBox(child);
            break;
        case code("iloc"):
            mItemLocationBox.parseBox(child);
            break;
        case code("ipro"):
            mItemProtectionBox.parseBox(child);
            break;
        case code("iprp"):
            mItemPropertiesBox.parseBox(child);
            break;
        case code("iref"):
            mItemReferenceBox.parseBox(child);
            break;
        case code("pitm"):
            mPrimaryItemBox.parseBox(child);
            break;
        default:
            break;  // other children are not used
        }
    }
}
