#include "OneColorView.h"

#include "WidgetExtensions.h"

#include <QPainter>

namespace pravix
{
namespace
{

QColor rgb(int r, int g, int b, qreal alpha = 1.0)
{
    return QColor::fromRgbF(r / 255.0f, g / 255.0f, b / 255.0f, static_cast<float>(alpha));
}

const QColor kMain = rgb(110, 57, 192);
const QColor kGrey = rgb(214, 214, 214);

}  // namespace

bool isLightAppearance(const QPalette& palette)
{
    return palette.color(QPalette::Window).lightness() >= 128;
}

OneColorView::OneColorView(const OneColorFill& fill, QWidget* parent)
    : QWidget(parent), fill_(fill)
{
}

QColor OneColorView::drawnColor() const
{
    if (fill_.lightAppearanceOnly && !isLightAppearance(palette())) {
        return QColor(Qt::transparent);
    }
    return fill_.color;
}

void OneColorView::paintEvent(QPaintEvent*)
{
    QPainter painter(this);
    painter.setRenderHint(QPainter::Antialiasing);
    const QRectF bounds = rect();
    painter.setPen(Qt::NoPen);
    painter.setBrush(drawnColor());
    painter.drawRoundedRect(bounds, fill_.cornerRadius, fill_.cornerRadius);
    if (fill_.border) {
        painter.setPen(QPen(kGrey, 1.0));
        painter.setBrush(Qt::NoBrush);
        painter.drawRect(bounds.adjusted(0.5, 0.5, -0.5, -0.5));
    }
}

// clang-format off
NSWhiteColorView::NSWhiteColorView(QWidget* p) : OneColorView({Qt::white, true}, p) {}
NSMainColorView::NSMainColorView(QWidget* p) : OneColorView({kMain, true}, p) {}
NSUserViewWhiteColor::NSUserViewWhiteColor(QWidget* p) : OneColorView({Qt::white}, p) {}
NSTableNavigationColorView::NSTableNavigationColorView(QWidget* p) : OneColorView({rgb(245, 245, 245)}, p) {}
NSUserGrayColorView::NSUserGrayColorView(QWidget* p) : OneColorView({kGrey}, p) {}
NSGrayColorView::NSGrayColorView(QWidget* p) : OneColorView({kGrey}, p) {}
NSViewUserMainColor::NSViewUserMainColor(QWidget* p) : OneColorView({kMain}, p) {}
NSViewUserMain2Color::NSViewUserMain2Color(QWidget* p) : OneColorView({rgb(110, 57, 192, 0.1)}, p) {}
NSViewButtonMainColor::NSViewButtonMainColor(QWidget* p) : OneColorView({kMain, false, 5}, p) {}
NSViewColorButtonRed::NSViewColorButtonRed(QWidget* p) : OneColorView({ColorHex(QStringLiteral("fc3d39")), false, 5}, p) {}
NSViewUserButtonWhiteColor::NSViewUserButtonWhiteColor(QWidget* p) : OneColorView({Qt::white, false, 5}, p) {}
NSViewColorWhiteToBlack::NSViewColorWhiteToBlack(QWidget* p) : OneColorView({Qt::white, false, 0, true}, p) {}
NSViewWhiteColor::NSViewWhiteColor(QWidget* p) : OneColorView({Qt::white, false, 1}, p) {}
NSViewBlueColor::NSViewBlueColor(QWidget* p) : OneColorView({rgb(211, 239, 255), false, 1}, p) {}
NSViewBlue2Color::NSViewBlue2Color(QWidget* p) : OneColorView({rgb(255, 249, 230), false, 1}, p) {}
NSViewBlue3Color::NSViewBlue3Color(QWidget* p) : OneColorView({rgb(238, 238, 238), false, 1}, p) {}
NSViewTransparent::NSViewTransparent(QWidget* p) : OneColorView({rgb(211, 239, 255, 0.0), false, 1}, p) {}
// clang-format on

}  // namespace pravix
