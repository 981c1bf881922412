#include "TitleButtonLayout.h"

namespace pravix
{

int titleButtonY(int platformMajorVersion)
{
    if (platformMajorVersion >= 26) {
        return 10;
    }
    return platformMajorVersion >= 12 ? 5 : 0;
}

TitleButtonOrigins UpdateWindowsBt(int windowWidth, int direction, const TitleButtonWidths& widths, int y)
{
    TitleButtonOrigins origins;
    const bool rightToLeft = direction == 1;
    int x = rightToLeft ? windowWidth - 66 : 12;
    for (int step = 0; step < 3; ++step) {
        const int button = rightToLeft ? 2 - step : step;
        origins[button] = QPoint(x, y);
        x += widths[button] + 6;
    }
    return origins;
}

}  // namespace pravix
