#pragma once

#include <vector>

#include "Box.h"
#include "TrackReferenceTypeBox.h"

// 'tref': the track's references to other tracks, one type box per reference type.
class TrackReferenceBox : public Box
{
public:
    TrackReferenceBox();
    ~TrackReferenceBox() override = default;

    const std::vector<TrackReferenceTypeBox>& getReferenceTypeBoxes() const { return mTrefTypeBoxes; }
    void addReferenceTypeBox(const TrackReferenceTypeBox& box) { mTrefTypeBoxes.push_back(box); }
    void clearReferenceBoxes() { mTrefTypeBoxes.clear(); }
    bool isReferenceTypePresent(FourCCInt type) const;

    void writeBox(BitStream& bitstr) override;
    void parseBox(BitStream& bitstr) override;

private:
    std::vector<TrackReferenceTypeBox> mTrefTypeBoxes;
};
