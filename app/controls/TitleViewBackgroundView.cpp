#include "TitleViewBackgroundView.h"

#include <QPaintEvent>
#include <QPainter>

namespace pravix
{

TitleViewBackgroundView::TitleViewBackgroundView(QWidget* parent)
    : QWidget(parent)
{
}

void TitleViewBackgroundView::setDelegate(TitleViewBackgroundViewDelegate* delegate)
{
    delegate_ = delegate;
    update();
}

void TitleViewBackgroundView::paintEvent(QPaintEvent* event)
{
    if (!delegate_) {
        return;
    }
    QPainter painter(this);
    painter.setClipRect(rect());
    delegate_->drawRect(painter, event->rect());
}

}  // namespace pravix
