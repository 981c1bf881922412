#pragma once

#include <memory>
#include <string>
#include <vector>

#include "Box.h"
#include "ChunkOffsetBox.h"
#include "CompositionOffsetBox.h"
#include "CompositionToDecodeBox.h"
#include "SampleDescriptionBox.h"
#include "SampleGroupDescriptionBox.h"
#include "SampleSizeBox.h"
#include "SampleToChunkBox.h"
#include "SampleToGroupBox.h"
#include "SyncSampleBox.h"
#include "TimeToSampleBox.h"

// 'stbl': the sample tables of a track. After parsing, the sample-to-chunk runs are expanded
// against the number of chunk offsets.
class SampleTableBox : public Box
{
public:
    SampleTableBox();
    ~SampleTableBox() override = default;

    SampleDescriptionBox& getSampleDescriptionBox() { return mSampleDescriptionBox; }
    const SampleDescriptionBox& getSampleDescriptionBox() const { return mSampleDescriptionBox; }
    TimeToSampleBox& getTimeToSampleBox() { return mTimeToSampleBox; }
    const TimeToSampleBox& getTimeToSampleBox() const { return mTimeToSampleBox; }
    SampleToChunkBox& getSampleToChunkBox() { return mSampleToChunkBox; }
    const SampleToChunkBox& getSampleToChunkBox() const { return mSampleToChunkBox; }
    ChunkOffsetBox& getChunkOffsetBox() { return mChunkOffsetBox; }
    const ChunkOffsetBox& getChunkOffsetBox() const { return mChunkOffsetBox; }
    SampleSizeBox& getSampleSizeBox() { return mSampleSizeBox; }
    const SampleSizeBox& getSampleSizeBox() const { return mSampleSizeBox; }

    /// Empty when the track has no such box.
    std::shared_ptr<const SyncSampleBox> getSyncSampleBox() const { return mSyncSampleBox; }
    std::shared_ptr<const CompositionOffsetBox> getCompositionOffsetBox() const { return mCompositionOffsetBox; }
    std::shared_ptr<const CompositionToDecodeBox> getCompositionToDecodeBox() const { return mCompositionToDecodeBox; }
    /// Copy into the held box, or into a new one when there is none.
    void setSyncSampleBox(const SyncSampleBox& box);
    void setCompositionOffsetBox(const CompositionOffsetBox& box);
    void setCompositionToDecodeBox(const CompositionToDecodeBox& box);

    /// The held 'sgpd' when its grouping type matches, else std::runtime_error.
    const SampleGroupDescriptionBox& getSampleGroupDescriptionBox(const std::string& groupingType) const;
    bool hasSampleGroupDescriptionBox() const { return mSampleGroupDescriptionBox != nullptr; }
    /// Takes ownership; the previous box is dropped.
    void setSampleGroupDescriptionBox(std::unique_ptr<SampleGroupDescriptionBox> box);

    const std::vector<SampleToGroupBox>& getSampleToGroupBoxes() const { return mSampleToGroupBoxes; }
    /// Appends a new empty 'sbgp' and returns it.
    SampleToGroupBox& addSampleToGroupBox();

    void writeBox(BitStream& bitstr) override;
    void parseBox(BitStream& bitstr) override;

private:
    SampleDescriptionBox mSampleDescriptionBox;
    TimeToSampleBox mTimeToSampleBox;
    SampleToChunkBox mSampleToChunkBox;
    ChunkOffsetBox mChunkOffsetBox;
    SampleSizeBox mSampleSizeBox;
    std::shared_ptr<SyncSampleBox> mSyncSampleBox;
    std::shared_ptr<CompositionOffsetBox> mCompositionOffsetBox;
    std::shared_ptr<CompositionToDecodeBox> mCompositionToDecodeBox;
    std::unique_ptr<SampleGroupDescriptionBox> mSampleGroupDescriptionBox;
    std::vector<SampleToGroupBox> mSampleToGroupBoxes;
};
