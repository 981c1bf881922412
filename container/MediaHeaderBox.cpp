#include "MediaHeaderBox.h"

#include <stdexcept>

#include "TrackTimes.h"

MediaHeaderBox::MediaHeaderBox() : FullBox(FourCCInt("mdhd"), 0, 0) {}

void MediaHeaderBox::writeBox(BitStream& bitstr)
{
    const bool wide = getVersion() == 1;
    writeFullBoxHeader(bitstr);
    TrackTimes::write(bitstr, wide, mCreationTime);
    TrackTimes::write(bitstr, wide, mModificationTime);
    bitstr.writeU32(mTimeScale);
    TrackTimes::write(bitstr, wide, mDuration);
    bitstr.writeU16(0);  // language
    bitstr.writeU16(0);  // pre_defined
    updateSize(bitstr);
}

void MediaHeaderBox::parseBox(BitStream& bitstr)
{
    parseFullBoxHeader(bitstr);
    const bool wide = getVersion() == 1;
    mCreationTime = TrackTimes::read(bitstr, wide);
    mModificationTime = TrackTimes::read(bitstr, wide);
    mTimeScale = bitstr.readU32();
    mDuration = TrackTimes::read(bitstr, wide);
    if (mTimeScale == 0)
    {
        throw std::runtime_error("MediaHeaderBox::parseBox() timescale 0 is invalid");
    }
    bitstr.readU16();  // language
    bitstr.readU16();  // pre_defined
}
