#pragma once

#include <cstdint>
#include <memory>
#include <string>

#include "FDItemInfoExtension.h"
#include "FullBox.h"

// 'infe': one item's id, type, name and protection index. Versions 0 and 1 carry the MIME-like
// fields (and version 1 a file-delivery extension); versions 2 and 3 carry a four-character item
// type with 16- or 32-bit ids. Copies are deep: each owns its own extension.
class ItemInfoEntry : public FullBox
{
public:
    ItemInfoEntry();
    ~ItemInfoEntry() override = default;
    ItemInfoEntry(const ItemInfoEntry& other);
    ItemInfoEntry& operator=(const ItemInfoEntry& other);
    ItemInfoEntry(ItemInfoEntry&&) = default;
    ItemInfoEntry& operator=(ItemInfoEntry&&) = default;

    std::uint32_t getItemID() const { return mItemId; }
    void setItemID(std::uint32_t itemId) { mItemId = itemId; }
    std::uint16_t getItemProtectionIndex() const { return mItemProtectionIndex; }
    void setItemProtectionIndex(std::uint16_t index) { mItemProtectionIndex = index; }
    const std::string& getItemName() const { return mItemName; }
    void setItemName(const std::string& name) { mItemName = name; }
    const std::string& getContentType() const { return mContentType; }
    void setContentType(const std::string& type) { mContentType = type; }
    const std::string& getContentEncoding() const { return mContentEncoding; }
    void setContentEncoding(const std::string& encoding) { mContentEncoding = encoding; }
    const std::string& getExtensionType() const { return mExtensionType; }
    void setExtensionType(const std::string& type) { mExtensionType = type; }
    const std::string& getItemType() const { return mItemType; }
    void setItemType(const std::string& type) { mItemType = type; }
    const std::string& getItemUriType() const { return mItemUriType; }
    void setItemUriType(const std::string& uriType) { mItemUriType = uriType; }
    /// The extension of a version 1 entry, or null.
    const ItemInfoExtension* getItemInfoExtension() const { return mItemInfoExtension.get(); }
    ItemInfoExtension* getItemInfoExtension() { return mItemInfoExtension.get(); }
    void setItemInfoExtension(std::unique_ptr<ItemInfoExtension> extension);
    /// Flags bit 0.
    bool isHidden() const { return (getFlags() & 1) != 0; }

    /// Refuses (std::runtime_error) what its version cannot carry: an id above 16 bits in
    /// versions 0 and 1 (version 2 becomes 3 instead), an id in versions above 3, a type that is
    /// not four characters, a version 1 entry without extension.
    void writeBox(BitStream& bitstr) override;
    /// Reads from the current position of the stream; the entry's fields end where its data
    /// says, and the next entry of an 'iinf' begins there.
    void parseBox(BitStream& bitstr) override;

private:
    std::uint32_t mItemId = 0;
    std::uint16_t mItemProtectionIndex = 0;
    std::string mItemName;
    std::string mContentType;
    std::string mContentEncoding;
    std::string mExtensionType;
    std::unique_ptr<ItemInfoExtension> mItemInfoExtension;
    std::string mItemType;
    std::string mItemUriType;
};
