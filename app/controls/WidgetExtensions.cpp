#include "WidgetExtensions.h"

#include <QAbstractButton>
#include <QApplication>
#include <QFontMetricsF>
#include <QLabel>
#include <QScreen>

#include <algorithm>
#include <limits>

namespace pravix
{
namespace
{

// Reads the leading hex digits of a two-character piece; none read 0.
int hexPiece(QStringView piece)
{
    int value = 0;
    for (const QChar c : piece) {
        int digit = -1;
        if (c >= u'0' && c <= u'9') {
            digit = c.unicode() - u'0';
        } else if (c >= u'A' && c <= u'F') {
            digit = c.unicode() - u'A' + 10;
        }
        if (digit < 0) {
            break;
        }
        value = value * 16 + digit;
    }
    return value;
}

}  // namespace

QFont SystemFont(qreal size)
{
    QFont font = QApplication::font();
    // Qt sizes fonts in points against the screen's logical resolution; convert so that the font's
    // pixel size is `size`, fractions kept.
    qreal dpi = 96.0;
    if (const QScreen* screen = QGuiApplication::primaryScreen()) {
        dpi = screen->logicalDotsPerInchY();
    }
    font.setPointSizeF(std::max<qreal>(size, 1.0) * 72.0 / dpi);
    return font;
}

float WidthForString(const QString& text, float fontSize, float maxWidth)
{
    if (text.isEmpty()) {
        return 0.0f;
    }
    const QFontMetricsF metrics(SystemFont(fontSize));
    const qreal lineWidth = std::max<qreal>(maxWidth, 0.0);
    const QRectF bounds =
        metrics.boundingRect(QRectF(0, 0, lineWidth, std::numeric_limits<float>::max()), Qt::TextWordWrap, text);
    // A single word longer than the line cannot wrap; the measure still stops at the line's width.
    return static_cast<float>(std::min(bounds.width(), lineWidth));
}

QColor ColorHex(const QString& hex)
{
    const QString digits = hex.trimmed().toUpper();
    if (digits.size() != 6) {
        return QColor(Qt::white);
    }
    const QStringView view(digits);
    const float red = static_cast<float>(hexPiece(view.mid(0, 2))) / 255.0f;
    const float green = static_cast<float>(hexPiece(view.mid(2, 2))) / 255.0f;
    const float blue = static_cast<float>(hexPiece(view.mid(4, 2))) / 255.0f;
    return QColor::fromRgbF(red, green, blue, 1.0f);
}

void setTextColor(QAbstractButton* button, const QColor& color)
{
    QPalette palette = button->palette();
    for (const QPalette::ColorGroup group : {QPalette::Active, QPalette::Inactive}) {
        palette.setColor(group, QPalette::ButtonText, color);
        palette.setColor(group, QPalette::WindowText, color);
    }
    button->setPalette(palette);
}

void setBackgroundColor(QAbstractButton* button, const QColor& color)
{
    QPalette palette = button->palette();
    palette.setColor(QPalette::Button, color);
    palette.setColor(QPalette::Window, color);
    button->setPalette(palette);
    button->setAutoFillBackground(true);
}

QString textInDirection(const QString& text, int direction)
{
    if (direction != 1 || text.isRightToLeft()) {
        return text;
    }
    // Only a text written in a right-to-left script: an English fallback text stays left to right.
    const bool hasRightToLeftLetters = std::any_of(text.begin(), text.end(), [](QChar c) {
        return c.direction() == QChar::DirR || c.direction() == QChar::DirAL;
    });
    return hasRightToLeftLetters ? QChar(0x200F) + text : text;
}

QLabel* CreateLabel(const QRect& frame, QWidget* parent)
{
    auto* label = new QLabel(parent);
    label->setGeometry(frame);
    label->setFrameShape(QFrame::NoFrame);
    label->setAutoFillBackground(false);
    label->setAttribute(Qt::WA_TranslucentBackground);
    QPalette palette = label->palette();
    palette.setColor(QPalette::Window, Qt::transparent);
    label->setPalette(palette);
    label->setTextInteractionFlags(Qt::TextSelectableByMouse);
    return label;
}

}  // namespace pravix
