#include "WindowResizeGrip.h"

#include <QMouseEvent>
#include <QWindow>

#include <algorithm>

namespace pravix
{
namespace
{

Qt::CursorShape cursorFor(Qt::Edges edges)
{
    const bool horizontal = edges & (Qt::LeftEdge | Qt::RightEdge);
    const bool vertical = edges & (Qt::TopEdge | Qt::BottomEdge);
    if (horizontal && vertical) {
        const bool falling = (edges == (Qt::TopEdge | Qt::LeftEdge)) || (edges == (Qt::BottomEdge | Qt::RightEdge));
        return falling ? Qt::SizeFDiagCursor : Qt::SizeBDiagCursor;
    }
    return horizontal ? Qt::SizeHorCursor : Qt::SizeVerCursor;
}

}  // namespace

QRect resizedGeometry(const QRect& start, Qt::Edges edges, const QPoint& delta, const QSize& minimum)
{
    int left = start.left();
    int top = start.top();
    int right = start.left() + start.width();
    int bottom = start.top() + start.height();
    if (edges & Qt::LeftEdge) {
        left = std::min(left + delta.x(), right - minimum.width());
    }
    if (edges & Qt::RightEdge) {
        right = std::max(right + delta.x(), left + minimum.width());
    }
    if (edges & Qt::TopEdge) {
        top = std::min(top + delta.y(), bottom - minimum.height());
    }
    if (edges & Qt::BottomEdge) {
        bottom = std::max(bottom + delta.y(), top + minimum.height());
    }
    return QRect(left, top, right - left, bottom - top);
}

WindowResizeGrip::WindowResizeGrip(Qt::Edges edges, QWidget* window)
    : QWidget(window), edges_(edges)
{
    setCursor(cursorFor(edges));
    setAttribute(Qt::WA_NoSystemBackground);
}

QRect WindowResizeGrip::rectIn(const QSize& size) const
{
    const int t = kThickness;
    const int w = size.width();
    const int h = size.height();
    const int x = (edges_ & Qt::LeftEdge) ? 0 : (edges_ & Qt::RightEdge) ? w - t : t;
    const int y = (edges_ & Qt::TopEdge) ? 0 : (edges_ & Qt::BottomEdge) ? h - t : t;
    const int width = (edges_ & (Qt::LeftEdge | Qt::RightEdge)) ? t : w - 2 * t;
    const int height = (edges_ & (Qt::TopEdge | Qt::BottomEdge)) ? t : h - 2 * t;
    return QRect(x, y, width, height);
}

void WindowResizeGrip::mousePressEvent(QMouseEvent* event)
{
    if (event->button() != Qt::LeftButton) {
        event->ignore();
        return;
    }
    QWindow* handle = window()->windowHandle();
    manual_ = !(handle && handle->startSystemResize(edges_));
    startGeometry_ = window()->geometry();
    startPosition_ = event->globalPosition().toPoint();
    event->accept();
}

void WindowResizeGrip::mouseMoveEvent(QMouseEvent* event)
{
    if (manual_ && (event->buttons() & Qt::LeftButton)) {
        const QPoint delta = event->globalPosition().toPoint() - startPosition_;
        window()->setGeometry(resizedGeometry(startGeometry_, edges_, delta, window()->minimumSize()));
    }
}

void WindowResizeGrip::mouseReleaseEvent(QMouseEvent*)
{
    manual_ = false;
}

}  // namespace pravix
