#pragma once

#include "Box.h"
#include "HandlerBox.h"
#include "MediaHeaderBox.h"
#include "MediaInformationBox.h"

// 'mdia': media header, handler and media information of a track.
class MediaBox : public Box
{
public:
    MediaBox();
    ~MediaBox() override = default;

    MediaHeaderBox& getMediaHeaderBox() { return mMediaHeaderBox; }
    const MediaHeaderBox& getMediaHeaderBox() const { return mMediaHeaderBox; }
    HandlerBox& getHandlerBox() { return mHandlerBox; }
    const HandlerBox& getHandlerBox() const { return mHandlerBox; }
    MediaInformationBox& getMediaInformationBox() { return mMediaInformationBox; }
    const MediaInformationBox& getMediaInformationBox() const { return mMediaInformationBox; }

    void writeBox(BitStream& bitstr) override;
    void parseBox(BitStream& bitstr) override;

private:
    MediaHeaderBox mMediaHeaderBox;
    HandlerBox mHandlerBox;
    MediaInformationBox mMediaInformationBox;
};
