#include "NSTableHeaderWhiteView.h"

#include <QEvent>
#include <QPaintEvent>
#include <QPainter>

namespace pravix
{

NSTableHeaderWhiteView::NSTableHeaderWhiteView(QWidget* parent)
    : QHeaderView(Qt::Horizontal, parent)
{
    setSectionsClickable(true);
    setHighlightSections(false);
    setSortIndicatorShown(false);
}

NSExtendTableHeaderCell& NSTableHeaderWhiteView::headerCell(int section)
{
    if (section == SelectColumn) {
        return selectCell_;
    }
    return cells_[static_cast<size_t>(std::clamp(section, 0, ListColumnCount - 1))];
}

void NSTableHeaderWhiteView::RefreshUI()
{
    updateSection(SelectColumn);
}

QSize NSTableHeaderWhiteView::sizeHint() const
{
    return QSize(QHeaderView::sizeHint().width(), kHeight);
}

void NSTableHeaderWhiteView::paintEvent(QPaintEvent* event)
{
    QPainter painter(viewport());
    // White beneath the cells, so the strip past the last column is white too.
    painter.fillRect(event->rect(), Qt::white);
    for (int logical = 0; logical < count(); ++logical) {
        if (isSectionHidden(logical)) {
            continue;
        }
        const QRect section(sectionViewportPosition(logical), 0, sectionSize(logical), viewport()->height());
        if (section.intersects(event->rect())) {
            paintSection(&painter, section, logical);
        }
    }
}

void NSTableHeaderWhiteView::paintSection(QPainter* painter, const QRect& rect, int logicalIndex) const
{
    auto* self = const_cast<NSTableHeaderWhiteView*>(this);
    NSExtendTableHeaderCell& cell = self->headerCell(logicalIndex);
    const QString title = model() ? model()->headerData(logicalIndex, orientation(), Qt::DisplayRole).toString()
                                  : QString();
    cell.drawWithFrame(painter, rect, cell.isHighlighted(), title);
}

void NSTableHeaderWhiteView::changeEvent(QEvent* event)
{
    QHeaderView::changeEvent(event);
    if (event->type() == QEvent::ActivationChange) {
        viewport()->update();
    }
}

}  // namespace pravix
