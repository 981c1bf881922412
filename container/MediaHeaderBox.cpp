#include "MediaHeaderBox.h"

MediaHeaderBox::MediaHeaderBox() : FullBox(FourCCInt("mdhd"), 0, 0) {}

void MediaHeaderBox::writeBox(BitStream& bitstr)
{
    const bool wide = getVersion() == 1;
    writeFullBoxHeader(bitstr);
    writeFields(bitstr, wide);
    bitstr.writeU16(0);  // language
    bitstr.writeU16(0);  // pre_defined
    updateSize(bitstr);
}

void MediaHeaderBox::parseBox(BitStream& bitstr)
{
    parseFullBoxHeader(bitstr);
    const bool wide = getVersion() == 1;
    parseFields(bitstr, wide, "MediaHeaderBox");
    bitstr.readU16();  // language
    bitstr.readU16();  // pre_defined
}
