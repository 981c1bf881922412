#pragma once

#include <vector>

#include "Box.h"
#include "EntityToGroupBox.h"

// 'grpl': the entity groups of a 'meta' box, in file order.
class GroupsListBox : public Box
{
public:
    GroupsListBox();
    ~GroupsListBox() override = default;

    void addEntityToGroupBox(const EntityToGroupBox& group) { mEntityToGroupBoxes.push_back(group); }
    const std::vector<EntityToGroupBox>& getEntityToGroupBoxes() const { return mEntityToGroupBoxes; }

    /// Writes nothing when there are no groups.
    void writeBox(BitStream& bitstr) override;
    /// Every child, whatever its type, is read as a group of that grouping type.
    void parseBox(BitStream& bitstr) override;

private:
    std::vector<EntityToGroupBox> mEntityToGroupBoxes;
};
