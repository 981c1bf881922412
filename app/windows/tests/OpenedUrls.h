#pragma once

// For the window tests: records the addresses the program hands to the browser instead of
// opening them, for the life of the object.

#include "UrlOpener.h"

#include <QList>
#include <QUrl>

namespace pravix::test
{

class OpenedUrls
{
public:
    OpenedUrls()
    {
        UrlOpener::setHandler([this](const QUrl& url) {
            urls_.append(url);
            return true;
        });
    }
    ~OpenedUrls() { UrlOpener::setHandler({}); }
    OpenedUrls(const OpenedUrls&) = delete;
    OpenedUrls& operator=(const OpenedUrls&) = delete;

    const QList<QUrl>& urls() const { return urls_; }

private:
    QList<QUrl> urls_;
};

}  // namespace pravix::test
