#pragma once

#include <QUrl>

#include <functional>

namespace pravix
{

// Hands web addresses to the desktop's default browser. Tests put a recorder in its place, so no
// test ever starts a browser.
class UrlOpener
{
public:
    using Handler = std::function<bool(const QUrl&)>;

    // Opens `url` with the handler in place (the desktop's default otherwise); false when it
    // could not be handed over. An invalid or empty address opens nothing and gives false.
    static bool open(const QUrl& url);

    // Replaces the handler for the whole process; an empty one restores the desktop's default.
    static void setHandler(Handler handler);
};

}  // namespace pravix
