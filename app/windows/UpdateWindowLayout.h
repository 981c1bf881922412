#pragma once

#include <QString>
#include <Qt>

namespace pravix
{

// Where the update-check window puts its icon, status line and buttons across its width; plain
// formulas, checked without a window. Every view keeps its own vertical place and height.
struct UpdateWindowLayoutInput
{
    qreal windowWidth = 0;
    int direction = 0;  // 1: right to left
    qreal iconWidth = 0;
    qreal titleWidth = 0;  // the status line's own width
    qreal closeButtonWidth = 0;
    qreal updateButtonWidth = 0;
};

struct UpdateWindowLayout
{
    qreal iconX = 0;
    qreal titleX = 0;
    Qt::Alignment titleAlignment;
    qreal closeViewX = 0;
    qreal closeViewWidth = 0;
    qreal updateViewX = 0;
    qreal updateViewWidth = 0;
};

// Left to right: the icon 30 from the left edge, the status line 10 after it, left-aligned; the
// close button 10 from the right edge, the update button 10 before it. Right to left, mirrored:
// the icon 30 from the right edge, the status line 10 before it, right-aligned; the close button
// 10 from the left edge, the update button 10 after it.
UpdateWindowLayout updateWindowLayout(const UpdateWindowLayoutInput& input);

// A button's width for its title: the title's width at `fontSize` + 20.
qreal buttonWidthForTitle(const QString& title, float fontSize);

}  // namespace pravix
