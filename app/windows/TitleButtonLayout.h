#pragma once

#include <QPoint>

#include <array>

namespace pravix
{

// Where the close, miniaturise and zoom buttons of every window (main, About, preview, update
// check) stand, in that order.
using TitleButtonOrigins = std::array<QPoint, 3>;
using TitleButtonWidths = std::array<int, 3>;

// The system version our platform reports to the window code.
constexpr int kPlatformMajorVersion = 15;

// The title buttons' y for a system major version: 10 from 26 on, 5 from 12 to 25, 0 before.
int titleButtonY(int platformMajorVersion = kPlatformMajorVersion);

// Left to right (direction 0): close, miniaturise, zoom from x = 12. Right to left (direction 1):
// zoom, miniaturise, close from x = windowWidth - 66. Each next button starts at the previous
// one's x + its width + 6. Hidden buttons keep their places, so a window showing only the close
// button still has it at 12, or at the right end of the group.
TitleButtonOrigins UpdateWindowsBt(int windowWidth, int direction, const TitleButtonWidths& widths,
                                   int y = titleButtonY());

}  // namespace pravix
