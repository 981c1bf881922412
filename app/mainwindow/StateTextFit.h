#pragma once

#include <QSizeF>
#include <QString>
#include <QStringList>

namespace pravix
{

// The state text of a list row: it starts in the system font of 12 and shrinks one size at a time
// until its word-wrapped height fits the cell; at the smallest size (6) what still does not fit
// ends in an ellipsis on the last line that fits.
constexpr qreal kStateTextFontSize = 12.0;
constexpr qreal kStateTextSmallestFontSize = 6.0;

struct StateTextFit
{
    qreal fontSize = kStateTextFontSize;
    QStringList lines;  // the lines as they are drawn, top to bottom
    qreal lineHeight = 0;
    bool elided = false;
};

// Wraps `text` at `width` (between words where it can, anywhere in a word too long for a line).
StateTextFit fitStateText(const QString& text, const QSizeF& box, qreal startSize = kStateTextFontSize,
                          qreal smallestSize = kStateTextSmallestFontSize);

// The wrapped height of `text` in the system font of `fontSize` at `width`.
qreal wrappedTextHeight(const QString& text, qreal fontSize, qreal width);

}  // namespace pravix
