#include "TrackBox.h"

TrackBox::TrackBox() : Box(FourCCInt("trak")) {}

void TrackBox::setEditBox(const EditBox& editBox)
{
    if (mEditBox)
    {
        *mEditBox = editBox;
    }
    else
    {
        mEditBox = std::make_shared<EditBox>(editBox);
    }
}

void TrackBox::writeBox(BitStream& bitstr)
{
    writeBoxHeader(bitstr);
    mTrackHeaderBox.writeBox(bitstr);
    if (mHasTrackReferences)
    {
        mTrackReferenceBox.writeBox(bitstr);
    }
    if (mEditBox)
    {
        mEditBox->writeBox(bitstr);
    }
    mMediaBox.writeBox(bitstr);
    updateSize(bitstr);
}

void TrackBox::parseBox(BitStream& bitstr)
{
    parseBoxHeader(bitstr);
    while (bitstr.numBytesLeft() > 0)
    {
        FourCCInt type;
        BitStream child = bitstr.readChildBox(type);
        if (type == FourCCInt("edts"))
        {
            auto editBox = std::make_shared<EditBox>();
            editBox->parseBox(child);
            mEditBox = std::move(editBox);
        }
        else if (type == FourCCInt("mdia"))
        {
            mMediaBox.parseBox(child);
        }
        else if (type == FourCCInt("tkhd"))
        {
            mTrackHeaderBox.parseBox(child);
        }
        else if (type == FourCCInt("tref"))
        {
            mTrackReferenceBox.parseBox(child);
            mHasTrackReferences = true;
        }
    }
}
