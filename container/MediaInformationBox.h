#pragma once

#include "Box.h"
#include "DataInformationBox.h"
#include "SampleTableBox.h"
#include "VideoMediaHeaderBox.h"

// 'minf': media header, data references and sample tables of a track.
class MediaInformationBox : public Box
{
public:
    MediaInformationBox();
    ~MediaInformationBox() override = default;

    VideoMediaHeaderBox& getVideoMediaHeaderBox() { return mVideoMediaHeaderBox; }
    DataInformationBox& getDataInformationBox() { return mDataInformationBox; }
    const DataInformationBox& getDataInformationBox() const { return mDataInformationBox; }
    SampleTableBox& getSampleTableBox() { return mSampleTableBox; }
    const SampleTableBox& getSampleTableBox() const { return mSampleTableBox; }

    void writeBox(BitStream& bitstr) override;
    void parseBox(BitStream& bitstr) override;

private:
    VideoMediaHeaderBox mVideoMediaHeaderBox;
    DataInformationBox mDataInformationBox;
    SampleTableBox mSampleTableBox;
};
