#pragma once

#include <QColor>
#include <QTimer>
#include <QWidget>

namespace pravix
{

// The spinning busy sign of a window (a progress indicator of indeterminate length): twelve
// spokes, the brightest one turning while the animation runs.
class ProgressSpinner : public QWidget
{
    Q_OBJECT

public:
    explicit ProgressSpinner(QWidget* parent = nullptr);

    void startAnimation();
    void stopAnimation();
    bool isAnimating() const { return timer_.isActive(); }

    void setColor(const QColor& color);
    QColor color() const { return color_; }

    QSize sizeHint() const override { return QSize(28, 28); }

protected:
    void paintEvent(QPaintEvent* event) override;

private:
    QTimer timer_;
    QColor color_ = QColor(0x5F, 0x36, 0xB3);
    int step_ = 0;
};

}  // namespace pravix
