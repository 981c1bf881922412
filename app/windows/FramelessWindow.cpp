#include "FramelessWindow.h"

#include "NSLanguage.h"
#include "TitleButtonLayout.h"
#include "WindowResizeGrip.h"

#include <QEvent>
#include <QKeyEvent>
#include <QMouseEvent>
#include <QPainter>
#include <QWindow>

namespace pravix
{

FramelessWindow::FramelessWindow(QWidget* parent)
    : QWidget(parent, Qt::Window | Qt::FramelessWindowHint)
{
    buttons_[CloseButton] = new TitleBarButton(TitleBarButton::Kind::Close, this);
    buttons_[MiniaturizeButton] = new TitleBarButton(TitleBarButton::Kind::Miniaturize, this);
    buttons_[ZoomButton] = new TitleBarButton(TitleBarButton::Kind::Zoom, this);
    connect(buttons_[CloseButton], &QAbstractButton::clicked, this, &QWidget::close);
    connect(buttons_[MiniaturizeButton], &QAbstractButton::clicked, this, &QWidget::showMinimized);
    connect(buttons_[ZoomButton], &QAbstractButton::clicked, this, &FramelessWindow::zoom);
    for (TitleBarButton* button : buttons_) {
        button->setAttribute(Qt::WA_Hover);
        button->installEventFilter(this);
    }
    const Qt::Edges edges[] = {Qt::LeftEdge,
                               Qt::RightEdge,
                               Qt::TopEdge,
                               Qt::BottomEdge,
                               Qt::TopEdge | Qt::LeftEdge,
                               Qt::TopEdge | Qt::RightEdge,
                               Qt::BottomEdge | Qt::LeftEdge,
                               Qt::BottomEdge | Qt::RightEdge};
    for (size_t i = 0; i < grips_.size(); ++i) {
        grips_[i] = new WindowResizeGrip(edges[i], this);
        grips_[i]->hide();
    }
    UpdateWindowsBt();
}

FramelessWindow::~FramelessWindow() = default;

void FramelessWindow::setTitleButtonHidden(TitleButton which, bool hidden)
{
    buttons_[which]->setHidden(hidden);
}

void FramelessWindow::setResizable(bool resizable)
{
    resizable_ = resizable;
    for (WindowResizeGrip* grip : grips_) {
        grip->setVisible(resizable);
    }
    raiseFrameControls();
}

void FramelessWindow::setWindowBackgroundColor(const QColor& color)
{
    background_ = color;
    update();
}

void FramelessWindow::UpdateWindowsBt()
{
    const TitleButtonWidths widths = {buttons_[0]->width(), buttons_[1]->width(), buttons_[2]->width()};
    const TitleButtonOrigins origins = pravix::UpdateWindowsBt(width(), NSLanguage::shareInstance().Direction(), widths);
    for (size_t i = 0; i < buttons_.size(); ++i) {
        buttons_[i]->move(origins[i]);
    }
    buttons_[CloseButton]->setAccessibleName(localizedText(QStringLiteral("Cloes")));
    buttons_[MiniaturizeButton]->setAccessibleName(localizedText(QStringLiteral("Minimize")));
    buttons_[ZoomButton]->setAccessibleName(localizedText(QStringLiteral("Zoom")));
    raiseFrameControls();
}

void FramelessWindow::paintEvent(QPaintEvent*)
{
    QPainter painter(this);
    painter.fillRect(rect(), background_);
}

void FramelessWindow::resizeEvent(QResizeEvent* event)
{
    QWidget::resizeEvent(event);
    for (WindowResizeGrip* grip : grips_) {
        grip->setGeometry(grip->rectIn(size()));
    }
    UpdateWindowsBt();
}

void FramelessWindow::showEvent(QShowEvent* event)
{
    QWidget::showEvent(event);
    raiseFrameControls();
}

void FramelessWindow::changeEvent(QEvent* event)
{
    QWidget::changeEvent(event);
    if (event->type() == QEvent::ActivationChange) {
        for (TitleBarButton* button : buttons_) {
            button->update();
        }
    }
}

void FramelessWindow::keyPressEvent(QKeyEvent* event)
{
    if (closesOnEscape_ && event->key() == Qt::Key_Escape) {
        close();
        return;
    }
    QWidget::keyPressEvent(event);
}

void FramelessWindow::mousePressEvent(QMouseEvent* event)
{
    if (event->button() != Qt::LeftButton) {
        QWidget::mousePressEvent(event);
        return;
    }
    QWindow* handle = windowHandle();
    if (handle && handle->startSystemMove()) {
        dragOffset_.reset();
    } else {
        dragOffset_ = event->globalPosition().toPoint() - frameGeometry().topLeft();
    }
    event->accept();
}

void FramelessWindow::mouseMoveEvent(QMouseEvent* event)
{
    if (dragOffset_ && (event->buttons() & Qt::LeftButton)) {
        move(event->globalPosition().toPoint() - *dragOffset_);
        event->accept();
        return;
    }
    QWidget::mouseMoveEvent(event);
}

void FramelessWindow::mouseReleaseEvent(QMouseEvent* event)
{
    dragOffset_.reset();
    QWidget::mouseReleaseEvent(event);
}

bool FramelessWindow::eventFilter(QObject* watched, QEvent* event)
{
    if (event->type() == QEvent::HoverEnter || event->type() == QEvent::HoverLeave) {
        for (TitleBarButton* button : buttons_) {
            if (watched == button) {
                const bool hovered = event->type() == QEvent::HoverEnter;
                for (TitleBarButton* other : buttons_) {
                    other->setGroupHovered(hovered);
                }
                break;
            }
        }
    }
    return QWidget::eventFilter(watched, event);
}

void FramelessWindow::raiseFrameControls()
{
    for (WindowResizeGrip* grip : grips_) {
        grip->raise();
    }
    for (TitleBarButton* button : buttons_) {
        button->raise();
    }
}

void FramelessWindow::zoom()
{
    if (isMaximized()) {
        showNormal();
    } else {
        showMaximized();
    }
}

}  // namespace pravix
