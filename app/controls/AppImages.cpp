#include "AppImages.h"

#include "AppResources.h"

#include <QCoreApplication>
#include <QHash>
#include <QPainter>
#include <QPixmapCache>
#include <QSvgRenderer>
#include <QtMath>

#include <memory>

namespace pravix
{
namespace
{

QString imagePath(const QString& name)
{
    return QStringLiteral(":/images/%1.svg").arg(name);
}

// One parsed renderer per image; SVG parsing is the slow part, drawing is cheap. They go with
// the application, not at the program's static clean-up after it.
QSvgRenderer* renderer(const QString& name)
{
    static QHash<QString, std::shared_ptr<QSvgRenderer>> renderers;
    static const bool cleanUpRegistered = [] {
        qAddPostRoutine([] { renderers.clear(); });
        return true;
    }();
    Q_UNUSED(cleanUpRegistered);
    auto it = renderers.find(name);
    if (it == renderers.end()) {
        initAppResources();
        auto loaded = std::make_shared<QSvgRenderer>(imagePath(name));
        it = renderers.insert(name, loaded->isValid() ? loaded : nullptr);
    }
    return it->get();
}

}  // namespace

QSize appImageSize(const QString& name)
{
    const QSvgRenderer* svg = renderer(name);
    return svg ? svg->defaultSize() : QSize();
}

QPixmap appPixmap(const QString& name, QSize size, qreal devicePixelRatio)
{
    QSvgRenderer* svg = renderer(name);
    if (!svg) {
        return QPixmap();
    }
    if (size.isEmpty()) {
        size = svg->defaultSize();
    }
    const qreal ratio = devicePixelRatio > 0 ? devicePixelRatio : 1.0;
    const QString key = QStringLiteral("pravix/%1/%2x%3@%4").arg(name).arg(size.width()).arg(size.height()).arg(ratio);
    QPixmap cached;
    if (QPixmapCache::find(key, &cached)) {
        return cached;
    }
    QImage image(QSize(qCeil(size.width() * ratio), qCeil(size.height() * ratio)), QImage::Format_ARGB32_Premultiplied);
    image.fill(Qt::transparent);
    {
        QPainter painter(&image);
        painter.setRenderHint(QPainter::Antialiasing);
        svg->render(&painter, QRectF(QPointF(0, 0), QSizeF(image.size())));
    }
    QPixmap pixmap = QPixmap::fromImage(image);
    pixmap.setDevicePixelRatio(ratio);
    QPixmapCache::insert(key, pixmap);
    return pixmap;
}

QIcon appIcon(const QString& name)
{
    // Rendered by us at 1x and 2x rather than by the SVG icon plug-in, which may be missing at
    // run time; the icon picks the sharper one for the screen.
    QIcon icon;
    for (const qreal ratio : {1.0, 2.0}) {
        const QPixmap pixmap = appPixmap(name, QSize(), ratio);
        if (!pixmap.isNull()) {
            icon.addPixmap(pixmap);
        }
    }
    return icon;
}

}  // namespace pravix
