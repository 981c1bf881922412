#pragma once

#include <QIcon>
#include <QImage>
#include <QPixmap>
#include <QSize>
#include <QString>

namespace pravix
{

// The window images ("NoTo", "PreBt", "Check_YES", ...): SVG drawings in the resources under
// images/, rendered sharp at any device pixel ratio.

// The drawing's own size in logical pixels; an empty size when there is no such image.
QSize appImageSize(const QString& name);

// The image at `size` logical pixels (its own size when `size` is empty) for a screen of
// `devicePixelRatio`; a null pixmap when there is no such image. Renders are cached.
QPixmap appPixmap(const QString& name, QSize size = QSize(), qreal devicePixelRatio = 1.0);

// The same as an icon holding the 1x and 2x renders.
QIcon appIcon(const QString& name);

}  // namespace pravix
