#pragma once

#include <cstdint>
#include <memory>
#include <vector>

#include "Box.h"
#include "ItemPropertyAssociation.h"
#include "ItemPropertyContainer.h"

// 'iprp': the property container of a meta box and the table tying items to its properties.
class ItemPropertiesBox : public Box
{
public:
    /// Property kinds; the values are those the reader reports.
    enum class PropertyType : std::uint32_t
    {
        UNKNOWN = 0,
        AUXC = 1,
        AVCC = 2,
        CLAP = 3,
        HVCC = 4,
        IMIR = 5,
        IROT = 6,
        ISPE = 7,
        LHVC = 8,
        LSEL = 9,
        OINF = 10,
        RLOC = 11,
        TOLS = 12,
        COLR = 13
    };

    struct PropertyInfo
    {
        PropertyType type = PropertyType::UNKNOWN;
        std::uint32_t index = 0;  // 0-based position in ipco; 0xFFFFFFFF for an ipma index of 0
        bool essential = false;
    };

    ItemPropertiesBox();
    ~ItemPropertiesBox() override = default;

    /// The kind of a property by its box type; UNKNOWN for null or a type not listed.
    static PropertyType getPropertyType(const Box* property);

    /// The stored 1-based index of the item's first association with a property of that kind;
    /// 0 when there is none. An index of 0 or past the end of ipco counts as UNKNOWN.
    std::uint32_t findPropertyIndex(PropertyType type, std::uint32_t itemId) const;
    /// One entry per association of the item, in stored order; empty for an unknown item.
    std::vector<PropertyInfo> getItemProperties(std::uint32_t itemId) const;

    /// Adds the property to ipco (an equal ispe is reused) and associates it with each item.
    /// Returns its 0-based position. A property that ipma could not address (position 32767
    /// or above) is refused with std::runtime_error before anything changes.
    std::uint32_t addProperty(std::shared_ptr<Box> property, const std::vector<std::uint32_t>& itemIds, bool essential);
    /// Associates the property at that 1-based index with each item; an index above 32767 is
    /// refused with std::runtime_error.
    void associateProperty(std::uint32_t index, const std::vector<std::uint32_t>& itemIds, bool essential);

    /// The property at that 0-based position when it is of class T; null otherwise.
    template <typename T>
    std::shared_ptr<T> getPropertyByIndex(std::uint32_t index) const
    {
        return std::dynamic_pointer_cast<T>(mContainer.getProperty(index));
    }

    const ItemPropertyContainer& getItemPropertyContainer() const { return mContainer; }
    ItemPropertyContainer& getItemPropertyContainer() { return mContainer; }
    const ItemPropertyAssociation& getItemPropertyAssociation() const { return mAssociation; }
    ItemPropertyAssociation& getItemPropertyAssociation() { return mAssociation; }

    void writeBox(BitStream& bitstr) override;
    void parseBox(BitStream& bitstr) override;

private:
    PropertyType typeAt(std::uint16_t index) const;

    ItemPropertyContainer mContainer;
    ItemPropertyAssociation mAssociation;
};
