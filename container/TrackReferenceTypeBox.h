#pragma once

#include <cstdint>
#include <vector>

#include "Box.h"

// One reference type inside 'tref' ('thmb', 'auxl', ...): the box type is the reference type and
// the payload the referenced track IDs.
class TrackReferenceTypeBox : public Box
{
public:
    explicit TrackReferenceTypeBox(FourCCInt referenceType);
    ~TrackReferenceTypeBox() override = default;

    const std::vector<std::uint32_t>& getTrackIds() const { return mTrackId; }
    void setTrackIds(const std::vector<std::uint32_t>& trackIds) { mTrackId = trackIds; }

    void writeBox(BitStream& bitstr) override;
    void parseBox(BitStream& bitstr) override;

private:
    std::vector<std::uint32_t> mTrackId;
};
