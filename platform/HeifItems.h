#pragma once

#include <cstddef>
#include <cstdint>
#include <map>
#include <optional>
#include <stdexcept>
#include <string>
#include <vector>

namespace pravix
{

// What the image layer needs from a HEIF file's root meta box: items, their locations, references and
// associated properties, read straight from the bytes (the colour box and the image properties are kept
// as raw payloads for the decoder). Every length and count is checked against the bytes that are left;
// damage ends in HeifFormatError.
class HeifFormatError : public std::runtime_error
{
public:
    using std::runtime_error::runtime_error;
};

struct HeifProperty
{
    std::string type;
    // Box payload after the box header (a full box keeps its version and flags in front).
    const uint8_t* payload = nullptr;
    size_t size = 0;
};

struct HeifItem
{
    uint32_t id = 0;
    std::string type;
    bool hasLocation = false;
    uint8_t constructionMethod = 0;
    uint16_t dataReferenceIndex = 0;
    uint64_t baseOffset = 0;
    std::vector<std::pair<uint64_t, uint64_t>> extents;  // (offset, length)
    std::vector<uint32_t> propertyIndexes;               // 1-based into the property container, in association order
};

class HeifItems
{
public:
    // The bytes must outlive this object.
    HeifItems(const uint8_t* data, size_t size);

    uint32_t primaryItemId() const { return mPrimaryItemId; }
    const HeifItem* item(uint32_t id) const;
    const std::map<uint32_t, HeifItem>& items() const { return mItems; }

    // The item's bytes joined from its extents.
    std::vector<uint8_t> itemData(uint32_t id) const;
    // Checks that the item's extents lie inside the file (throws otherwise); answers their total length.
    uint64_t checkItemData(uint32_t id) const;
    // Items that `from` refers to with a reference of `type`, in stored order.
    std::vector<uint32_t> references(uint32_t from, const std::string& type) const;
    // Items that refer to `to` with a reference of `type`.
    std::vector<uint32_t> referencesTo(uint32_t to, const std::string& type) const;
    // The item's properties in association order; the first of a type with property().
    std::vector<const HeifProperty*> properties(uint32_t id) const;
    const HeifProperty* property(uint32_t id, const std::string& type) const;

private:
    void parseMeta(const uint8_t* p, size_t n);
    void parseLocations(const uint8_t* p, size_t n);
    void parseInfos(const uint8_t* p, size_t n);
    void parseReferences(const uint8_t* p, size_t n);
    void parseProperties(const uint8_t* p, size_t n);

    const uint8_t* mData;
    size_t mSize;
    uint32_t mPrimaryItemId = 0;
    bool mHasPrimary = false;
    std::map<uint32_t, HeifItem> mItems;
    std::vector<HeifProperty> mProperties;
    struct Reference
    {
        std::string type;
        uint32_t from;
        std::vector<uint32_t> to;
    };
    std::vector<Reference> mReferences;
    const uint8_t* mIdat = nullptr;
    size_t mIdatSize = 0;
};

}  // namespace pravix
