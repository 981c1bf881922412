#include "TrackReferenceBox.h"

TrackReferenceBox::TrackReferenceBox() : Box(FourCCInt("tref")) {}

bool TrackReferenceBox::isReferenceTypePresent(FourCCInt type) const
{
    for (const auto& box : mTrefTypeBoxes)
    {
        if (box.getType() == type)
        {
            return true;
        }
    }
    return false;
}

void TrackReferenceBox::writeBox(BitStream& bitstr)
{
    writeBoxHeader(bitstr);
    for (auto& box : mTrefTypeBoxes)
    {
        box.writeBox(bitstr);
    }
    updateSize(bitstr);
}

void TrackReferenceBox::parseBox(BitStream& bitstr)
{
    parseBoxHeader(bitstr);
    while (bitstr.numBytesLeft() > 0)
    {
        FourCCInt type;
        BitStream child = bitstr.readChildBox(type);
        TrackReferenceTypeBox box(type);
        box.parseBox(child);
        mTrefTypeBoxes.push_back(box);
    }
}
