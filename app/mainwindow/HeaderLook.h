#pragma once

#include <QRect>
#include <QString>

namespace pravix
{

// The logo and program name of the main window's header band, by market. The frames are in the
// logo group's coordinates; the name keeps its own y, width and height.
struct HeaderLook
{
    QString logoImage;
    QRect logoFrame;
    QString appName;
    int appNameX = 0;
};

// International: "HeadLogo" at (0, 16, 68, 15) and "Quorvane" from the logo's right edge; Chinese
// market: "Logo64" at (0, 5, 32, 32) and "Velquane" 5 pixels right of it.
HeaderLook headerLook(bool international);

// Where the logo group (`groupWidth` wide) starts in a band `bandWidth` wide: in the middle, but
// moved aside to keep clear of what the band holds at its ends (`reservedLeft`, `reservedRight`
// pixels, such as the menu bar), as far as the band allows.
int logoGroupX(int bandWidth, int groupWidth, int reservedLeft = 0, int reservedRight = 0);

}  // namespace pravix
