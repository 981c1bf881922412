#include "TrackReferenceTypeBox.h"

TrackReferenceTypeBox::TrackReferenceTypeBox(FourCCInt referenceType) : Box(referenceType) {}

void TrackReferenceTypeBox::writeBox(BitStream& bitstr)
{
    writeBoxHeader(bitstr);
    for (const auto id : mTrackId)
    {
        bitstr.writeU32(id);
    }
    updateSize(bitstr);
}

void TrackReferenceTypeBox::parseBox(BitStream& bitstr)
{
    parseBoxHeader(bitstr);
    mTrackId.clear();
    while (bitstr.numBytesLeft() > 0)
    {
        mTrackId.push_back(bitstr.readU32());
    }
}
