#include "UrlOpener.h"

#include <QDesktopServices>

#include <iostream>

namespace pravix
{
namespace
{

UrlOpener::Handler& handlerSlot()
{
    static UrlOpener::Handler handler;
    return handler;
}

}  // namespace

bool UrlOpener::open(const QUrl& url)
{
    if (url.isEmpty() || !url.isValid()) {
        std::cout << "【日志】Not opened, no valid address: " << url.toString().toUtf8().constData() << std::endl;
        return false;
    }
    const Handler& handler = handlerSlot();
    return handler ? handler(url) : QDesktopServices::openUrl(url);
}

void UrlOpener::setHandler(Handler handler)
{
    handlerSlot() = std::move(handler);
}

}  // namespace pravix
