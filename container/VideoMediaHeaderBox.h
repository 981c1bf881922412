#pragma once

#include "FullBox.h"

// 'vmhd': the video media header; its graphics mode and colour are not used.
class VideoMediaHeaderBox : public FullBox
{
public:
    VideoMediaHeaderBox();
    ~VideoMediaHeaderBox() override = default;

    void writeBox(BitStream& bitstr) override;
    void parseBox(BitStream& bitstr) override;
};
