#pragma once

#include "Box.h"

// 'imir': mirroring about a vertical (axis 0) or horizontal (axis 1) axis.
class ImageMirror : public Box
{
public:
    ImageMirror();
    ~ImageMirror() override = default;

    /// True when the axis field is 1 (mirroring about a horizontal axis, i.e. top and bottom swap).
    bool getHorizontalAxis() const { return mHorizontalAxis; }
    void setHorizontalAxis(bool horizontalAxis) { mHorizontalAxis = horizontalAxis; }

    void writeBox(BitStream& bitstr) override;
    void parseBox(BitStream& bitstr) override;

private:
    bool mHorizontalAxis = true;
};
