#pragma once

#include <memory>

#include "Box.h"
#include "EditBox.h"
#include "MediaBox.h"
#include "TrackHeaderBox.h"
#include "TrackReferenceBox.h"

// 'trak': one track of a movie.
class TrackBox : public Box
{
public:
    TrackBox();
    ~TrackBox() override = default;

    TrackHeaderBox& getTrackHeaderBox() { return mTrackHeaderBox; }
    const TrackHeaderBox& getTrackHeaderBox() const { return mTrackHeaderBox; }
    MediaBox& getMediaBox() { return mMediaBox; }
    const MediaBox& getMediaBox() const { return mMediaBox; }
    TrackReferenceBox& getTrackReferenceBox() { return mTrackReferenceBox; }
    const TrackReferenceBox& getTrackReferenceBox() const { return mTrackReferenceBox; }
    bool getHasTrackReferences() const { return mHasTrackReferences; }
    void setHasTrackReferences(bool value) { mHasTrackReferences = value; }
    /// Empty when the track has no 'edts'.
    std::shared_ptr<const EditBox> getEditBox() const { return mEditBox; }
    /// Copies into the held edit box, or into a new one when there is none.
    void setEditBox(const EditBox& editBox);

    /// Writes tkhd, tref (when present), edts (when present), mdia.
    void writeBox(BitStream& bitstr) override;
    void parseBox(BitStream& bitstr) override;

private:
    TrackHeaderBox mTrackHeaderBox;
    MediaBox mMediaBox;
    TrackReferenceBox mTrackReferenceBox;
    bool mHasTrackReferences = false;
    std::shared_ptr<EditBox> mEditBox;
};
