#include "GroupsListBox.h"

GroupsListBox::GroupsListBox() : Box(FourCCInt("grpl")) {}

void GroupsListBox::writeBox(BitStream& bitstr)
{
    if (mEntityToGroupBoxes.empty())
    {
        return;
    }
    writeBoxHeader(bitstr);
    for (auto& group : mEntityToGroupBoxes)
    {
        group.writeBox(bitstr);
    }
    updateSize(bitstr);
}

void GroupsListBox::parseBox(BitStream& bitstr)
{
    parseBoxHeader(bitstr);
    while (bitstr.numBytesLeft() > 0)
    {
        FourCCInt type;
        BitStream child = bitstr.readChildBox(type);
        EntityToGroupBox group;
        group.parseBox(child);
        mEntityToGroupBoxes.push_back(group);
    }
}
