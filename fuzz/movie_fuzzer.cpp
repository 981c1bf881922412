// Parses arbitrary bytes as a movie box and computes every kept track's presentation times, the
// way the reader does for an image sequence.
#include <cstddef>
#include <cstdint>
#include <exception>
#include <vector>

#include "BitStream.h"
#include "DecodePts.h"
#include "MovieBox.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    BitStream stream(std::vector<std::uint8_t>(data, data + size));
    try
    {
        MovieBox movie;
        movie.parseBox(stream);
        const std::uint32_t timescale = movie.getMovieHeaderBox().getTimeScale();
        for (TrackBox* track : movie.getTrackBoxes())
        {
            const SampleTableBox& stbl = track->getMediaBox().getMediaInformationBox().getSampleTableBox();
            DecodePts pts;
            pts.setTimeToSampleBox(&stbl.getTimeToSampleBox());
            pts.setCompositionOffsetBox(stbl.getCompositionOffsetBox().get());
            const auto edits = track->getEditBox();
            pts.setEditListBox(edits ? edits->getEditListBox().get() : nullptr);
            pts.computePresentationTimes();
            const std::uint32_t duration = track->getTrackHeaderBox().getDuration();
            if (duration == 0xFFFFFFFF)
            {
                pts.getPresentationTimesMs(timescale);
            }
            else
            {
                pts.getLoopedPresentationTimesMs(timescale, DecodePts::toLoopEndMs(double(duration) / timescale));
            }
        }
    }
    catch (const std::exception&)
    {
    }
    return 0;
}
