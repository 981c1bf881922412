#include "SharedWindow.h"

#include <QGuiApplication>
#include <QScreen>

namespace pravix
{

void showInFront(QWidget& window, bool centre)
{
    if (centre) {
        if (const QScreen* screen = QGuiApplication::primaryScreen()) {
            window.move(screen->availableGeometry().center() - window.rect().center());
        }
    }
    window.show();
    window.raise();
    window.activateWindow();
}

}  // namespace pravix
