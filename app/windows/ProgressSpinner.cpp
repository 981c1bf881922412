#include "ProgressSpinner.h"

#include <QPainter>

#include <algorithm>

namespace pravix
{
namespace
{

constexpr int kSpokes = 12;

}  // namespace

ProgressSpinner::ProgressSpinner(QWidget* parent)
    : QWidget(parent)
{
    timer_.setInterval(80);
    connect(&timer_, &QTimer::timeout, this, [this] {
        step_ = (step_ + 1) % kSpokes;
        update();
    });
}

void ProgressSpinner::startAnimation()
{
    timer_.start();
    update();
}

void ProgressSpinner::stopAnimation()
{
    timer_.stop();
    update();
}

void ProgressSpinner::setColor(const QColor& color)
{
    color_ = color;
    update();
}

void ProgressSpinner::paintEvent(QPaintEvent*)
{
    QPainter painter(this);
    painter.setRenderHint(QPainter::Antialiasing);
    const qreal side = std::min(width(), height());
    const qreal outer = side / 2;
    const qreal inner = outer * 0.45;
    const qreal thickness = std::max<qreal>(1.5, side / 12);
    painter.translate(width() / 2.0, height() / 2.0);
    for (int i = 0; i < kSpokes; ++i) {
        // The head spoke is full colour; those behind it fade out.
        const int age = (step_ - i + kSpokes) % kSpokes;
        QColor spoke = color_;
        spoke.setAlphaF(isAnimating() ? std::max(0.15, 1.0 - age / qreal(kSpokes)) : 0.35);
        painter.setPen(QPen(spoke, thickness, Qt::SolidLine, Qt::RoundCap));
        painter.drawLine(QPointF(0, -inner), QPointF(0, -outer + thickness / 2));
        painter.rotate(360.0 / kSpokes);
    }
}

}  // namespace pravix
