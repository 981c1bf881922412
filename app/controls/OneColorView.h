#pragma once

#include <QColor>
#include <QWidget>

namespace pravix
{

// The fixed-colour views of the windows. Each fills itself with one colour; some only under a
// light appearance (clear under a dark one), some with corners rounded by 5 or 1, one with a
// 1-pixel grey border (the frames of the option menus).
struct OneColorFill
{
    QColor color;
    bool lightAppearanceOnly = false;  // clear under a dark palette
    qreal cornerRadius = 0;
    bool border = false;  // 1 pixel, sRGB 214, 214, 214
};

// Light appearance: the palette's window colour is light (our stand-in for the system's light
// appearance name).
bool isLightAppearance(const QPalette& palette);

class OneColorView : public QWidget
{
    Q_OBJECT

public:
    OneColorView(const OneColorFill& fill, QWidget* parent);

    const OneColorFill& fill() const { return fill_; }
    // The colour drawn now: clear for a light-only view under a dark palette.
    QColor drawnColor() const;

protected:
    void paintEvent(QPaintEvent* event) override;

private:
    OneColorFill fill_;
};

// The sixteen named views (and the transparent one), each only its fill.
#define PRAVIX_ONE_COLOR_VIEW(Name)                \
    class Name : public OneColorView               \
    {                                              \
    public:                                        \
        explicit Name(QWidget* parent = nullptr);  \
    };

PRAVIX_ONE_COLOR_VIEW(NSWhiteColorView)
PRAVIX_ONE_COLOR_VIEW(NSMainColorView)
PRAVIX_ONE_COLOR_VIEW(NSUserViewWhiteColor)
PRAVIX_ONE_COLOR_VIEW(NSTableNavigationColorView)
PRAVIX_ONE_COLOR_VIEW(NSUserGrayColorView)
PRAVIX_ONE_COLOR_VIEW(NSGrayColorView)
PRAVIX_ONE_COLOR_VIEW(NSViewUserMainColor)
PRAVIX_ONE_COLOR_VIEW(NSViewUserMain2Color)
PRAVIX_ONE_COLOR_VIEW(NSViewButtonMainColor)
PRAVIX_ONE_COLOR_VIEW(NSViewColorButtonRed)
PRAVIX_ONE_COLOR_VIEW(NSViewUserButtonWhiteColor)
PRAVIX_ONE_COLOR_VIEW(NSViewColorWhiteToBlack)
PRAVIX_ONE_COLOR_VIEW(NSViewWhiteColor)
PRAVIX_ONE_COLOR_VIEW(NSViewBlueColor)
PRAVIX_ONE_COLOR_VIEW(NSViewBlue2Color)
PRAVIX_ONE_COLOR_VIEW(NSViewBlue3Color)
PRAVIX_ONE_COLOR_VIEW(NSViewTransparent)

#undef PRAVIX_ONE_COLOR_VIEW

}  // namespace pravix
