#include "ConversionListDelegate.h"

#include "ConversionListModel.h"
#include "ListCells.h"
#include "NSTableCellDeleteViewDelegate.h"

#include <QMouseEvent>
#include <QPainter>

namespace pravix
{

ConversionListDelegate::ConversionListDelegate(QObject* parent)
    : QStyledItemDelegate(parent)
{
}

QRect ConversionListDelegate::buttonRect(const QModelIndex& index, const QRect& cell, Qt::LayoutDirection direction)
{
    switch (index.column()) {
    case SelectColumn:
        return NSTableCellFileSelect::SelectBtRect(cell, direction);
    case PreviewColumn:
        return index.data(ConversionListModel::PreviewVisibleRole).toBool() ? NSTableCellPreview::PreButtonRect(cell)
                                                                             : QRect();
    case DeleteColumn:
        return NSTableCellDeleteView::DeleteButtonRect(cell);
    default:
        return QRect();
    }
}

void ConversionListDelegate::SelectEvent(ConversionListModel* model, int row)
{
    const NSPravixData* entry = model ? model->entryAt(row) : nullptr;
    if (!entry) {
        return;
    }
    model->setData(model->index(row, SelectColumn), entry->isSelect ? Qt::Unchecked : Qt::Checked, Qt::CheckStateRole);
    if (cellDelegate_) {
        cellDelegate_->SelectEvent();
    }
}

void ConversionListDelegate::PreButtonEvent(ConversionListModel* model, int row)
{
    NSPravixData* entry = model ? model->entryAt(row) : nullptr;
    if (entry && !entry->ToPath.empty() && cellDelegate_) {
        cellDelegate_->PreViewEvent(*entry);
    }
}

void ConversionListDelegate::DeleteBtEvent(ConversionListModel* model, int row)
{
    NSPravixData* entry = model ? model->entryAt(row) : nullptr;
    if (entry && cellDelegate_) {
        cellDelegate_->DeleteEvent(*entry);
    }
}

void ConversionListDelegate::paint(QPainter* painter, const QStyleOptionViewItem& option,
                                   const QModelIndex& index) const
{
    QStyleOptionViewItem opt = option;
    initStyleOption(&opt, index);
    BDTableRowView::drawBackground(painter, opt);
    const bool pressed = pressed_.isValid() && pressed_ == index;
    switch (index.column()) {
    case SelectColumn:
        NSTableCellFileSelect::paint(painter, opt, index.data(Qt::CheckStateRole).toInt() == Qt::Checked);
        break;
    case NameColumn:
        NSTableCellFileName::paint(painter, opt, index.data(Qt::DisplayRole).toString());
        break;
    case SizeColumn:
        NSTableCellFileSize::paint(painter, opt, index.data(Qt::DisplayRole).toString());
        break;
    case StateColumn:
        NSTableCellStateView::paint(painter, opt, index.data(ConversionListModel::StateTextRole).toString(),
                                    index.data(ConversionListModel::StateIconRole).toString());
        break;
    case PreviewColumn:
        if (index.data(ConversionListModel::PreviewVisibleRole).toBool()) {
            NSTableCellPreview::paint(painter, opt, pressed);
        }
        break;
    case DeleteColumn:
        NSTableCellDeleteView::paint(painter, opt, pressed);
        break;
    default:
        break;
    }
}

QSize ConversionListDelegate::sizeHint(const QStyleOptionViewItem&, const QModelIndex& index) const
{
    static const int kWidths[ListColumnCount] = {40, 200, 90, 130, 60, 60};
    const int column = index.column();
    return QSize(column >= 0 && column < ListColumnCount ? kWidths[column] : 80, kRowHeight);
}

bool ConversionListDelegate::editorEvent(QEvent* event, QAbstractItemModel* model,
                                         const QStyleOptionViewItem& option, const QModelIndex& index)
{
    const QEvent::Type type = event->type();
    if (type != QEvent::MouseButtonPress && type != QEvent::MouseButtonDblClick &&
        type != QEvent::MouseButtonRelease) {
        return false;
    }
    auto* mouse = static_cast<QMouseEvent*>(event);
    if (mouse->button() != Qt::LeftButton) {
        return false;
    }
    const QRect button = buttonRect(index, option.rect, option.direction);
    const bool inside = button.contains(mouse->position().toPoint());
    if (type != QEvent::MouseButtonRelease) {
        // The press only arms the button; the row is selected as usual.
        pressed_ = inside ? QPersistentModelIndex(index) : QPersistentModelIndex();
        return false;
    }
    const bool armed = pressed_.isValid() && pressed_ == index;
    pressed_ = QPersistentModelIndex();
    if (!armed || !inside) {
        return false;
    }
    auto* list = qobject_cast<ConversionListModel*>(model);
    const int row = index.row();
    switch (index.column()) {
    case SelectColumn:
        SelectEvent(list, row);
        break;
    case PreviewColumn:
        PreButtonEvent(list, row);
        break;
    case DeleteColumn:
        DeleteBtEvent(list, row);
        break;
    default:
        return false;
    }
    return true;
}

}  // namespace pravix
