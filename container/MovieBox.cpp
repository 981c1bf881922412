#include "MovieBox.h"

#include "LogStream.h"

MovieBox::MovieBox() : Box(FourCCInt("moov")) {}

std::vector<TrackBox*> MovieBox::getTrackBoxes() const
{
    std::vector<TrackBox*> tracks;
    for (const auto& track : mTracks)
    {
        tracks.push_back(track.get());
    }
    return tracks;
}

void MovieBox::writeBox(BitStream& bitstr)
{
    writeBoxHeader(bitstr);
    mMovieHeaderBox.writeBox(bitstr);
    for (auto& track : mTracks)
    {
        track->writeBox(bitstr);
    }
    updateSize(bitstr);
}

void MovieBox::parseBox(BitStream& bitstr)
{
    parseBoxHeader(bitstr);
    while (bitstr.numBytesLeft() > 0)
    {
        FourCCInt type;
        BitStream child = bitstr.readChildBox(type);
        if (type == FourCCInt("trak"))
        {
            auto track = std::make_unique<TrackBox>();
            track->parseBox(child);
            if (track->getMediaBox().getHandlerBox().getHandlerType() == "pict")
            {
                mTracks.push_back(std::move(track));
            }
        }
        else if (type == FourCCInt("mvhd"))
        {
            mMovieHeaderBox.parseBox(child);
        }
        else
        {
            logWarning() << "Skipping an unsupported box '" << type << "' inside movie box." << std::endl;
        }
    }
}
