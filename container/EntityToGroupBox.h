#pragma once

#include <cstdint>
#include <vector>

#include "FullBox.h"

// One entity group of a 'grpl' box; its box type is the grouping type ('altr',
// ...). A new box draws a fresh group id; a parsed one takes the id from the
// file.
class EntityToGroupBox : public FullBox
{
public:
    EntityToGroupBox();
    ~EntityToGroupBox() override = default;

    std::uint32_t getGroupId() const { return mGroupId; }
    void setGroupId(std::uint32_t groupId) { mGroupId = groupId; }
    void setEntityIds(const std::vector<std::uint32_t>& entityIds) { mEntityIds = entityIds; }
    std::vector<std::uint32_t> getEntityIds() const { return mEntityIds; }

    void writeBox(BitStream& bitstr) override;
    /// The entity count is checked against the bytes left before any id is read.
    void parseBox(BitStream& bitstr) override;

private:
    std::uint32_t mGroupId;
    std::vector<std::uint32_t> mEntityIds;
};
