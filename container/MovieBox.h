#pragma once

#include <memory>
#include <vector>

#include "Box.h"
#include "MovieHeaderBox.h"
#include "TrackBox.h"

// 'moov' of an image sequence: the movie header and the picture tracks. Tracks of other
// handler types are read (so their errors still end the parse) and dropped.
class MovieBox : public Box
{
public:
    MovieBox();
    ~MovieBox() override = default;

    MovieHeaderBox& getMovieHeaderBox() { return mMovieHeaderBox; }
    const MovieHeaderBox& getMovieHeaderBox() const { return mMovieHeaderBox; }
    /// The kept tracks in file order; they stay owned by the movie box.
    std::vector<TrackBox*> getTrackBoxes() const;
    void addTrackBox(std::unique_ptr<TrackBox> trackBox) { mTracks.push_back(std::move(trackBox)); }

    void writeBox(BitStream& bitstr) override;
    void parseBox(BitStream& bitstr) override;

private:
    MovieHeaderBox mMovieHeaderBox;
    std::vector<std::unique_ptr<TrackBox>> mTracks;
};
