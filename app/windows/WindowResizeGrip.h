#pragma once

#include <QRect>
#include <QWidget>

namespace pravix
{

// The geometry of a window resized by dragging `edges` by `delta`, never smaller than `minimum`;
// the opposite edges stay where they are.
QRect resizedGeometry(const QRect& start, Qt::Edges edges, const QPoint& delta, const QSize& minimum);

// An invisible strip along an edge or corner of a frameless window: it shows the resize cursor and
// hands a press to the window system's resize, or resizes by itself where the window system
// offers no such move (no window manager).
class WindowResizeGrip : public QWidget
{
    Q_OBJECT

public:
    static constexpr int kThickness = 5;

    WindowResizeGrip(Qt::Edges edges, QWidget* window);

    Qt::Edges edges() const { return edges_; }
    // Its rectangle inside a window of `size`.
    QRect rectIn(const QSize& size) const;

protected:
    void mousePressEvent(QMouseEvent* event) override;
    void mouseMoveEvent(QMouseEvent* event) override;
    void mouseReleaseEvent(QMouseEvent* event) override;

private:
    Qt::Edges edges_;
    bool manual_ = false;
    QRect startGeometry_;
    QPoint startPosition_;
};

}  // namespace pravix
