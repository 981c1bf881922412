#include "NSImagePreView.h"

#include "NSLanguage.h"
#include "NSViewColor.h"
#include "PreviewImageLoader.h"
#include "PreviewImageView.h"
#include "WidgetExtensions.h"

#include <QCoreApplication>
#include <QFileInfo>
#include <QLabel>
#include <QPointer>
#include <QThreadPool>

namespace pravix
{

NSImagePreView::NSImagePreView(QWidget* parent)
    : FramelessWindow(parent)
{
    setAttribute(Qt::WA_DeleteOnClose, false);
    setClosesOnEscape(true);
    resize(kDefaultWidth, kDefaultHeight);
    setMinimumSize(320, 240);
    setResizable(true);
    setTitleButtonHidden(MiniaturizeButton, true);
    setTitleButtonHidden(ZoomButton, true);
    setWindowBackgroundColor(ColorHex(QStringLiteral("eef3f7")));

    contentView_ = new NSViewColor(this);
    contentView_->setBackgroundColor(Qt::white);
    titleInfo_ = CreateLabel(QRect(), contentView_);
    QPalette grey = titleInfo_->palette();
    grey.setColor(QPalette::WindowText, QColor::fromRgbF(128 / 255.0f, 128 / 255.0f, 128 / 255.0f, 1.0f));
    titleInfo_->setPalette(grey);
    titleInfo_->setAlignment(Qt::AlignCenter);
    titleInfo_->setWordWrap(true);
    titleInfo_->setFont(SystemFont(15));
    // Added after the label, so it lies above it.
    preViewImage_ = new PreviewImageView(contentView_);
    layoutContent();
    UpdateWindowsBt();
}

NSImagePreView::~NSImagePreView() = default;

void NSImagePreView::ShowImagePath(const QString& path)
{
    path_ = path;
    const quint64 request = ++request_;
    loading_ = true;
    preViewImage_->setImage(QImage());
    titleInfo_->setText(localizedText(QStringLiteral("数据加载中...")));
    titleInfo_->show();
    setWindowTitle(QFileInfo(path).fileName());
    preViewImage_->setAccessibleName(QFileInfo(path).fileName());
    show();
    raise();
    activateWindow();

    // The decode runs on the shared pool; its result comes back through the event loop and is
    // dropped when this window has gone or has been asked for another file meanwhile.
    QPointer<NSImagePreView> self(this);
    QThreadPool::globalInstance()->start([self, request, path] {
        QImage image = loadPreviewImage(path);
        QMetaObject::invokeMethod(
            QCoreApplication::instance(),
            [self, request, image = std::move(image)] {
                if (self) {
                    self->showLoaded(request, image);
                }
            },
            Qt::QueuedConnection);
    });
}

void NSImagePreView::showLoaded(quint64 request, const QImage& image)
{
    if (request != request_) {
        return;
    }
    loading_ = false;
    if (image.isNull()) {
        titleInfo_->setText(localizedText(QStringLiteral("未找到，图片文件")));
        emit imageLoaded(false);
        return;
    }
    preViewImage_->setImage(image);
    // The picture covers the label, but its transparent parts would let "Loading…" show through.
    titleInfo_->hide();
    emit imageLoaded(true);
}

QImage NSImagePreView::image() const
{
    return preViewImage_->image();
}

QString NSImagePreView::statusText() const
{
    return titleInfo_->text();
}

void NSImagePreView::resizeEvent(QResizeEvent* event)
{
    FramelessWindow::resizeEvent(event);
    layoutContent();
}

void NSImagePreView::layoutContent()
{
    const int w = width();
    const int h = height();
    contentView_->setGeometry(0, 0, w, h);
    titleInfo_->setGeometry(20, (h - 50) / 2, w - 40, 50);
    preViewImage_->setGeometry(0, 30, w, std::max(0, h - 60));
}

}  // namespace pravix
