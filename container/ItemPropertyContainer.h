#pragma once

#include <cstdint>
#include <memory>
#include <vector>

#include "Box.h"

// 'ipco': the properties of a meta box in file order. Position p is ipma index p + 1.
class ItemPropertyContainer : public Box
{
public:
    ItemPropertyContainer();
    ~ItemPropertyContainer() override = default;

    /// The property at that 0-based position; null past the end.
    std::shared_ptr<Box> getProperty(std::uint32_t index) const;
    std::uint32_t getPropertyCount() const { return std::uint32_t(mProperties.size()); }

    /// Appends the property and returns its 0-based position; an ispe equal in width and
    /// height to one held already is not appended, and that one's position is returned.
    std::uint32_t addProperty(std::shared_ptr<Box> property);
    /// The position of the first ispe equal to the given one, or -1 when there is none (or
    /// the property is not an ispe).
    std::int64_t findSameProperty(const std::shared_ptr<Box>& property) const;

    void writeBox(BitStream& bitstr) override;
    void parseBox(BitStream& bitstr) override;

private:
    std::vector<std::shared_ptr<Box>> mProperties;
};
