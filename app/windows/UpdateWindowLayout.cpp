#include "UpdateWindowLayout.h"

#include "WidgetExtensions.h"

namespace pravix
{

UpdateWindowLayout updateWindowLayout(const UpdateWindowLayoutInput& input)
{
    UpdateWindowLayout layout;
    layout.closeViewWidth = input.closeButtonWidth;
    layout.updateViewWidth = input.updateButtonWidth;
    // Explicit sides: the window's own direction must not flip them a second time.
    if (input.direction == 1) {
        layout.iconX = input.windowWidth - input.iconWidth - 30;
        layout.titleX = layout.iconX - input.titleWidth - 10;
        layout.titleAlignment = Qt::AlignAbsolute | Qt::AlignRight;
        layout.closeViewX = 10;
        layout.updateViewX = layout.closeViewX + layout.closeViewWidth + 10;
    } else {
        layout.iconX = 30;
        layout.titleX = layout.iconX + input.iconWidth + 10;
        layout.titleAlignment = Qt::AlignAbsolute | Qt::AlignLeft;
        layout.closeViewX = input.windowWidth - layout.closeViewWidth - 10;
        layout.updateViewX = layout.closeViewX - layout.updateViewWidth - 10;
    }
    return layout;
}

qreal buttonWidthForTitle(const QString& title, float fontSize)
{
    return WidthForString(title, fontSize) + 20;
}

}  // namespace pravix
