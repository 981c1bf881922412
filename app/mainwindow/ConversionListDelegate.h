#pragma once

#include <QPersistentModelIndex>
#include <QStyledItemDelegate>

namespace pravix
{

class ConversionListModel;
class NSTableCellDeleteViewDelegate;

// Draws the list's rows through the cell painters (ListCells.h) and turns clicks into the cell
// delegate's calls: a click on a row's tick box toggles the entry's isSelect and sends SelectEvent;
// a click on the preview button (shown only for converted rows) sends PreViewEvent; on the delete
// button DeleteEvent. A button acts on release inside the rectangle it was pressed in. Without a
// cell delegate the buttons do nothing; the tick box still toggles.
class ConversionListDelegate : public QStyledItemDelegate
{
    Q_OBJECT

public:
    static constexpr int kRowHeight = 32;

    explicit ConversionListDelegate(QObject* parent = nullptr);

    // Held without ownership: the main window, which outlives its list.
    void setCellDelegate(NSTableCellDeleteViewDelegate* delegate) { cellDelegate_ = delegate; }
    NSTableCellDeleteViewDelegate* cellDelegate() const { return cellDelegate_; }

    // The rectangle of the clickable part of a cell (tick box, preview or delete button); empty
    // for the other columns and for a hidden preview button.
    static QRect buttonRect(const QModelIndex& index, const QRect& cell, Qt::LayoutDirection direction);

    // The click actions, also reached from the keyboard (ConversionTableView).
    void SelectEvent(ConversionListModel* model, int row);
    void PreButtonEvent(ConversionListModel* model, int row);
    void DeleteBtEvent(ConversionListModel* model, int row);

    void paint(QPainter* painter, const QStyleOptionViewItem& option, const QModelIndex& index) const override;
    QSize sizeHint(const QStyleOptionViewItem& option, const QModelIndex& index) const override;
    bool editorEvent(QEvent* event, QAbstractItemModel* model, const QStyleOptionViewItem& option,
                     const QModelIndex& index) override;

private:
    NSTableCellDeleteViewDelegate* cellDelegate_ = nullptr;
    QPersistentModelIndex pressed_;
};

}  // namespace pravix
