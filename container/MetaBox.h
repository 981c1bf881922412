#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "DataInformationBox.h"
#include "FullBox.h"
#include "GroupsListBox.h"
#include "HandlerBox.h"
#include "ItemDataBox.h"
#include "ItemInfoBox.h"
#include "ItemLocationBox.h"
#include "ItemPropertiesBox.h"
#include "ItemProtectionBox.h"
#include "ItemReferenceBox.h"
#include "PrimaryItemBox.h"

// 'meta' at file level: one of each item-level box, parsed from its children and written back
// in a fixed order, with helpers for building one.
class MetaBox : public FullBox
{
public:
    MetaBox();
    ~MetaBox() override = default;

    std::string getHandlerType() const { return mHandlerBox.getHandlerType(); }
    void setHandlerType(const std::string& handlerType) { mHandlerBox.setHandlerType(handlerType); }

    const PrimaryItemBox& getPrimaryItemBox() const { return mPrimaryItemBox; }
    PrimaryItemBox& getPrimaryItemBox() { return mPrimaryItemBox; }
    void setPrimaryItemId(std::uint32_t itemId) { mPrimaryItemBox.setItemId(itemId); }

    const ItemInfoBox& getItemInfoBox() const { return mItemInfoBox; }
    ItemInfoBox& getItemInfoBox() { return mItemInfoBox; }
    void setItemInfoBox(const ItemInfoBox& itemInfoBox) { mItemInfoBox = itemInfoBox; }

    const ItemLocationBox& getItemLocationBox() const { return mItemLocationBox; }
    ItemLocationBox& getItemLocationBox() { return mItemLocationBox; }
    const ItemReferenceBox& getItemReferenceBox() const { return mItemReferenceBox; }
    ItemReferenceBox& getItemReferenceBox() { return mItemReferenceBox; }
    const ItemPropertiesBox& getItemPropertiesBox() const { return mItemPropertiesBox; }
    ItemPropertiesBox& getItemPropertiesBox() { return mItemPropertiesBox; }
    const GroupsListBox& getGroupsListBox() const { return mGroupsListBox; }
    GroupsListBox& getGroupsListBox() { return mGroupsListBox; }
    const DataInformationBox& getDataInformationBox() const { return mDataInformationBox; }
    DataInformationBox& getDataInformationBox() { return mDataInformationBox; }
    const ItemDataBox& getItemDataBox() const { return mItemDataBox; }
    ItemDataBox& getItemDataBox() { return mItemDataBox; }
    /// Bounds-checked (std::out_of_range "vector").
    const ProtectionSchemeInfoBox& getProtectionSchemeInfoBox(std::uint16_t index) const
    {
        return mItemProtectionBox.getProtectionSchemeInfoBox(index);
    }

    /// An item info entry (version 2, or 3 for an id above 65535; flags 1 when hidden).
    void addItem(std::uint32_t itemId, const std::string& itemType, const std::string& name, bool hidden = false);
    /// addItem, and a location in the file (construction method 0) without extents.
    void addFileItem(std::uint32_t itemId, const std::string& itemType, const std::string& name,
                     std::uint64_t baseOffset);
    /// A new location for the item with one extent.
    void addIloc(std::uint32_t itemId, std::uint64_t offset, std::uint64_t length, std::uint64_t baseOffset);
    /// One more extent for the item's location; throws std::runtime_error for an unknown item.
    void addMdatExtent(std::uint32_t itemId, std::uint64_t offset, std::uint64_t length);
    /// Stores the data in 'idat', adds the item and a location (construction method 1) over it.
    void addIdatItem(std::uint32_t itemId, const std::string& itemType, const std::string& name,
                     const std::vector<std::uint8_t>& data);
    /// Stores more data in 'idat' as one more extent of the item's location; an unknown item
    /// throws std::runtime_error and leaves 'idat' as it was.
    void addIdatExtent(std::uint32_t itemId, const std::vector<std::uint8_t>& data);
    void addItemReference(FourCCInt type, std::uint32_t fromId, std::uint32_t toId);
    /// Returns the property's 0-based position in ipco.
    std::uint32_t addProperty(std::shared_ptr<Box> property, const std::vector<std::uint32_t>& itemIds, bool essential);
    /// Associates the property at that 1-based ipco index with the items.
    void addProperty(std::uint32_t propertyIndex, const std::vector<std::uint32_t>& itemIds, bool essential);
    void addEntityGroup(FourCCInt groupingType, const std::vector<std::uint32_t>& entityIds);

    /// Writes hdlr, pitm, iloc, ipro, iinf, iref, idat, iprp, grpl (never dinf). When a member
    /// refuses its content, nothing of the meta box is written.
    void writeBox(BitStream& bitstr) override;
    /// Children of unknown types are skipped; a repeated child type parses into the same member.
    void parseBox(BitStream& bitstr) override;

private:
    HandlerBox mHandlerBox;
    PrimaryItemBox mPrimaryItemBox;
    DataInformationBox mDataInformationBox;
    ItemLocationBox mItemLocationBox;
    ItemProtectionBox mItemProtectionBox;
    ItemInfoBox mItemInfoBox;
    ItemReferenceBox mItemReferenceBox;
    ItemDataBox mItemDataBox;
    ItemPropertiesBox mItemPropertiesBox;
    GroupsListBox mGroupsListBox;
};
