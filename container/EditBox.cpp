#include "EditBox.h"

EditBox::EditBox() : Box(FourCCInt("edts")) {}

void EditBox::writeBox(BitStream& bitstr)
{
    writeBoxHeader(bitstr);
    if (mEditListBox)
    {
        mEditListBox->writeBox(bitstr);
    }
    updateSize(bitstr);
}

void EditBox::parseBox(BitStream& bitstr)
{
    parseBoxHeader(bitstr);
    while (bitstr.numBytesLeft() > 0)
    {
        FourCCInt type;
        BitStream child = bitstr.readChildBox(type);
        if (type == FourCCInt("elst"))
        {
            auto editList = std::make_shared<EditListBox>();
            editList->parseBox(child);
            mEditListBox = std::move(editList);
        }
    }
}
