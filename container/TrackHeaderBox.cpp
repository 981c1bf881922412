#include "TrackHeaderBox.h"

#include "TrackTimes.h"

TrackHeaderBox::TrackHeaderBox() : FullBox(FourCCInt("tkhd"), 0, 0) {}

void TrackHeaderBox::writeBox(BitStream& bitstr)
{
    const bool wide = getVersion() == 1;
    writeFullBoxHeader(bitstr);
    TrackTimes::write(bitstr, wide, mCreationTime);
    TrackTimes::write(bitstr, wide, mModificationTime);
    bitstr.writeU32(mTrackID);
    bitstr.writeU32(0);  // reserved
    TrackTimes::write(bitstr, wide, mDuration);
    bitstr.writeU32(0);  // reserved
    bitstr.writeU32(0);
    bitstr.writeU16(0);  // layer
    bitstr.writeU16(mAlternateGroup);
    bitstr.writeU16(0);  // volume
    bitstr.writeU16(0);  // reserved
    for (const std::uint32_t value : {0x00010000u, 0u, 0u, 0u, 0x00010000u, 0u, 0u, 0u, 0x40000000u})
    {
        bitstr.writeU32(value);
    }
    bitstr.writeU32(mWidth);
    bitstr.writeU32(mHeight);
    updateSize(bitstr);
}

void TrackHeaderBox::parseBox(BitStream& bitstr)
{
    parseFullBoxHeader(bitstr);
    const bool wide = getVersion() == 1;
    mCreationTime = TrackTimes::read(bitstr, wide);
    mModificationTime = TrackTimes::read(bitstr, wide);
    mTrackID = bitstr.readU32();
    bitstr.readU32();  // reserved
    mDuration = TrackTimes::read(bitstr, wide);
    bitstr.readU32();  // reserved
    bitstr.readU32();
    bitstr.readU16();  // layer
    mAlternateGroup = std::uint16_t(bitstr.readU16());
    bitstr.readU16();  // volume
    bitstr.readU16();  // reserved
    for (int i = 0; i < 9; ++i)
    {
        bitstr.readU32();  // matrix
    }
    mWidth = bitstr.readU32();
    mHeight = bitstr.readU32();
}
