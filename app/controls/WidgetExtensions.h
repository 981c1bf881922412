#pragma once

#include <QColor>
#include <QFont>
#include <QRect>
#include <QString>

class QAbstractButton;
class QLabel;
class QWidget;

namespace pravix
{

// The colour, text-measure, button and label helpers every window shares.

// The system font at `size` logical pixels (the unit of every frame in the windows), so that a
// text measured here takes the same room on the screen.
QFont SystemFont(qreal size);

// Width of `text` set in SystemFont(fontSize), wrapping at `maxWidth` pixels (1000 unless given),
// so never more than that; 0 for an empty text.
float WidthForString(const QString& text, float fontSize, float maxWidth = 1000.0f);

// A colour from six hex digits, "5F36B3" or "c3d2dd", blanks and line ends around them ignored.
// Any other length (a leading "#" included) gives white; a piece without hex digits reads 0.
QColor ColorHex(const QString& hex);

// Title colour of a button; its font and other looks stay. Disabled buttons keep the style's
// dimmed title so that they still look disabled.
void setTextColor(QAbstractButton* button, const QColor& color);

// Background colour of a button (filled by the button itself, whatever the style's default).
void setBackgroundColor(QAbstractButton* button, const QColor& color);

// `text` to be laid out in the interface direction (1 right to left) whatever letters it begins
// with: a label takes its paragraph direction from its first letter that has one, so a text in a
// right-to-left script that begins with a Latin name gets a right-to-left mark in front. Other
// texts (an English fallback in a right-to-left interface among them) are unchanged.
QString textInDirection(const QString& text, int direction);

// A plain label at `frame`: no background, no border, not editable, its text selectable with the
// mouse for copying. Owned by `parent`.
QLabel* CreateLabel(const QRect& frame, QWidget* parent);

}  // namespace pravix
