#include "ConversionTableView.h"

#include "ConversionListDelegate.h"
#include "ConversionListModel.h"
#include "NSLanguage.h"
#include "NSTableHeaderWhiteView.h"
#include "WidgetExtensions.h"

#include <QKeyEvent>

namespace pravix
{

ConversionTableView::ConversionTableView(ConversionListModel* model, QWidget* parent)
    : QTableView(parent), model_(model), delegate_(new ConversionListDelegate(this)),
      header_(new NSTableHeaderWhiteView(this))
{
    setHorizontalHeader(header_);
    setModel(model_);
    setItemDelegate(delegate_);
    setSelectionBehavior(QAbstractItemView::SelectRows);
    setSelectionMode(QAbstractItemView::SingleSelection);
    setEditTriggers(QAbstractItemView::NoEditTriggers);
    setShowGrid(false);
    setWordWrap(false);
    setFrameShape(QFrame::NoFrame);
    setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    setTabKeyNavigation(false);
    verticalHeader()->hide();
    verticalHeader()->setSectionResizeMode(QHeaderView::Fixed);
    verticalHeader()->setDefaultSectionSize(ConversionListDelegate::kRowHeight);
    header_->setMinimumSectionSize(36);
    header_->setDefaultAlignment(Qt::AlignCenter);
    header_->setSectionResizeMode(QHeaderView::Fixed);
    header_->setSectionResizeMode(NameColumn, QHeaderView::Stretch);
    static const int kWidths[ListColumnCount] = {44, 0, 96, 136, 64, 64};
    for (int column = 0; column < ListColumnCount; ++column) {
        if (kWidths[column] > 0) {
            header_->resizeSection(column, kWidths[column]);
        }
    }
    QPalette colours = palette();
    colours.setColor(QPalette::Highlight, ColorHex(QStringLiteral("c3d2dd")));
    colours.setColor(QPalette::Base, Qt::white);
    setPalette(colours);

    // The header's default look as the main window sets it up: the box shown and empty, titles
    // centred, the delete title in the accent colour and cut at its end when too long.
    header_->FileSelect().DefaultSelect();
    header_->FileSelect().setSelectHidden(false);
    header_->headerCell(DeleteColumn).setTextColor(ColorHex(QStringLiteral("5F36B3")));
    header_->headerCell(DeleteColumn).setElideMode(Qt::ElideRight);
    connect(header_, &QHeaderView::sectionClicked, this, &ConversionTableView::headerClicked);
    RefreshUI();
}

void ConversionTableView::setCellDelegate(NSTableCellDeleteViewDelegate* delegate)
{
    delegate_->setCellDelegate(delegate);
}

void ConversionTableView::CheckAllSelect()
{
    const int state = model_->allSelected() ? 1 : 0;
    if (header_->FileSelect().Select() != state) {
        header_->FileSelect().setSelect(state);
        header_->RefreshUI();
    }
}

void ConversionTableView::reloadData()
{
    model_->reloadData();
    if (model_->rowCount() > 0) {
        CheckAllSelect();
    }
}

void ConversionTableView::RefreshUI()
{
    setAccessibleName(localizedText(QStringLiteral("ConversionList")));
    reloadData();
}

void ConversionTableView::applyDirection(int direction)
{
    const Qt::LayoutDirection layout = direction == 1 ? Qt::RightToLeft : Qt::LeftToRight;
    setLayoutDirection(layout);
    header_->setLayoutDirection(layout);
    viewport()->update();
    header_->viewport()->update();
}

void ConversionTableView::headerClicked(int section)
{
    if (section == SelectColumn) {
        const int state = header_->FileSelect().Select() == 0 ? 1 : 0;
        header_->FileSelect().setSelect(state);
        model_->setAllSelected(state == 1);
        header_->RefreshUI();
        reloadData();
    } else if (section == DeleteColumn) {
        emit allDeleteClicked();
    }
}

void ConversionTableView::keyPressEvent(QKeyEvent* event)
{
    const int row = currentIndex().isValid() ? currentIndex().row() : -1;
    if (row >= 0 && (event->modifiers() & ~Qt::KeypadModifier) == Qt::NoModifier) {
        switch (event->key()) {
        case Qt::Key_Space:
            delegate_->SelectEvent(model_, row);
            return;
        case Qt::Key_Delete:
            delegate_->DeleteBtEvent(model_, row);
            return;
        case Qt::Key_Return:
        case Qt::Key_Enter:
            delegate_->PreButtonEvent(model_, row);
            return;
        default:
            break;
        }
    }
    QTableView::keyPressEvent(event);
}

}  // namespace pravix
