#pragma once

#include <QCoreApplication>
#include <QPointer>
#include <QWidget>

namespace pravix
{

// The one window of a kind that the whole program shares (About, update check), made on first use.
// It has no parent, so it is deleted when the application ends, while widgets still work.
template <class Window>
Window& sharedWindow()
{
    static QPointer<Window> window;
    if (!window) {
        window = new Window();
        qAddPostRoutine([] { delete window.data(); });
    }
    return *window;
}

// Shows `window` in front of the others and gives it the keyboard; `centre` also puts it in the
// middle of the primary screen (its first showing).
void showInFront(QWidget& window, bool centre);

}  // namespace pravix
