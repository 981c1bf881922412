#include "HeaderLook.h"

namespace pravix
{

HeaderLook headerLook(bool international)
{
    HeaderLook look;
    if (international) {
        look.logoImage = QStringLiteral("HeadLogo");
        look.logoFrame = QRect(0, 16, 68, 15);
        look.appName = QStringLiteral("Quorvane");
        look.appNameX = look.logoFrame.x() + look.logoFrame.width();
    } else {
        look.logoImage = QStringLiteral("Logo64");
        look.logoFrame = QRect(0, 5, 32, 32);
        look.appName = QStringLiteral("Velquane");
        look.appNameX = look.logoFrame.x() + look.logoFrame.width() + 5;
    }
    return look;
}

int logoGroupX(int bandWidth, int groupWidth, int reservedLeft, int reservedRight)
{
    int x = (bandWidth - groupWidth) / 2;
    if (x + groupWidth > bandWidth - reservedRight) {
        x = bandWidth - reservedRight - groupWidth;
    }
    return x < reservedLeft ? reservedLeft : x;
}

}  // namespace pravix
