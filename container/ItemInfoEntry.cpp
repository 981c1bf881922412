#include "ItemInfoEntry.h"

#include <stdexcept>

namespace
{
void writeFourCharacters(BitStream& bitstr, const std::string& text, const char* what)
{
    if (text.size() != 4)
    {
        throw std::runtime_error(std::string("ItemInfoEntry: ") + what + " must be four characters");
    }
    bitstr.writeString(text);
}
}  // namespace

ItemInfoEntry::ItemInfoEntry() : FullBox(FourCCInt("infe"), 0, 0) {}

ItemInfoEntry::ItemInfoEntry(const ItemInfoEntry& other)
    : FullBox(other), mItemId(other.mItemId), mItemProtectionIndex(other.mItemProtectionIndex),
      mItemName(other.mItemName), mContentType(other.mContentType), mContentEncoding(other.mContentEncoding),
      mExtensionType(other.mExtensionType),
      mItemInfoExtension(other.mItemInfoExtension ? other.mItemInfoExtension->clone() : nullptr),
      mItemType(other.mItemType), mItemUriType(other.mItemUriType)
{
}

ItemInfoEntry& ItemInfoEntry::operator=(const ItemInfoEntry& other)
{
    if (this != &other)
    {
        ItemInfoEntry copy(other);
        *this = std::move(copy);
    }
    return *this;
}

void ItemInfoEntry::setItemInfoExtension(std::unique_ptr<ItemInfoExtension> extension)
{
    mItemInfoExtension = std::move(extension);
}

void ItemInfoEntry::writeBox(BitStream& bitstr)
{
    const std::uint8_t version = getVersion();
    if (version <= 1)
    {
        if (mItemId > 0xFFFF)
        {
            throw std::runtime_error("ItemInfoEntry: item id above 16 bits needs version 2 or 3");
        }
        if (version == 1 && !mItemInfoExtension)
        {
            throw std::runtime_error("ItemInfoEntry: a version 1 entry needs its extension");
        }
    }
    else if (version == 2 && mItemId > 0xFFFF)
    {
        setVersion(3);  // the same layout with a 32-bit id
    }
    else if (version > 3 && mItemId != 0)
    {
        throw std::runtime_error("ItemInfoEntry: versions above 3 carry no item id");
    }

    // Checked before anything is written so a refused entry leaves the stream as it was.
    if (version == 1 && mExtensionType.size() != 4)
    {
        throw std::runtime_error("ItemInfoEntry: extension type must be four characters");
    }
    if (version >= 2 && mItemType.size() != 4)
    {
        throw std::runtime_error("ItemInfoEntry: item type must be four characters");
    }

    writeFullBoxHeader(bitstr);
    if (getVersion() <= 1)
    {
        bitstr.writeU16(std::uint16_t(mItemId));
        bitstr.writeU16(mItemProtectionIndex);
        bitstr.writeZeroTerminatedString(mItemName);
        bitstr.writeZeroTerminatedString(mContentType);
        bitstr.writeZeroTerminatedString(mContentEncoding);
        if (getVersion() == 1)
        {
            writeFourCharacters(bitstr, mExtensionType, "extension type");
            mItemInfoExtension->write(bitstr);
        }
    }
    else
    {
        if (getVersion() == 2)
        {
            bitstr.writeU16(std::uint16_t(mItemId));
        }
        else if (getVersion() == 3)
        {
            bitstr.writeU32(mItemId);
        }
        bitstr.writeU16(mItemProtectionIndex);
        writeFourCharacters(bitstr, mItemType, "item type");
        bitstr.writeZeroTerminatedString(mItemName);
        if (mItemType == "mime")
        {
            bitstr.writeZeroTerminatedString(mContentType);
            bitstr.writeZeroTerminatedString(mContentEncoding);
        }
        else if (mItemType == "uri ")
        {
            bitstr.writeZeroTerminatedString(mItemUriType);
        }
    }
    updateSize(bitstr);
}

void ItemInfoEntry::parseBox(BitStream& bitstr)
{
    const std::uint32_t start = bitstr.getPos();
    const std::uint32_t available = bitstr.numBytesLeft();
    parseFullBoxHeader(bitstr);
    const std::uint8_t version = getVersion();
    if (version <= 1)
    {
        mItemId = bitstr.readU16();
        mItemProtectionIndex = std::uint16_t(bitstr.readU16());
        bitstr.readZeroTerminatedString(mItemName);
        bitstr.readZeroTerminatedString(mContentType);
        bitstr.readZeroTerminatedString(mContentEncoding);
        if (version == 1)
        {
            // Whatever the extension type says, the file-delivery extension follows.
            bitstr.readString(mExtensionType, 4);
            auto extension = std::make_unique<FDItemInfoExtension>();
            extension->parse(bitstr);
            mItemInfoExtension = std::move(extension);
        }
        return;
    }

    if (version == 2)
    {
        mItemId = bitstr.readU16();
    }
    else if (version == 3)
    {
        mItemId = bitstr.readU32();
    }
    mItemProtectionIndex = std::uint16_t(bitstr.readU16());
    bitstr.readString(mItemType, 4);
    bitstr.readZeroTerminatedString(mItemName);
    if (mItemType == "mime")
    {
        bitstr.readZeroTerminatedString(mContentType);
        // The encoding is optional: present only when the entry's declared size reaches past
        // the content type. A size of 0 means the entry runs to the end of the data.
        const std::uint64_t declared = getSize() == 1 ? getLargeSize() : getSize() == 0 ? available : getSize();
        mContentEncoding.clear();
        if (std::uint64_t(bitstr.getPos()) < std::uint64_t(start) + declared)
        {
            bitstr.readZeroTerminatedString(mContentEncoding);
        }
    }
    else if (mItemType == "uri ")
    {
        bitstr.readZeroTerminatedString(mItemUriType);
    }
}
