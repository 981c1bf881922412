#pragma once

#include "ListColumn.h"
#include "NSExtendTableHeaderCell.h"
#include "NSSelectTableHeaderCell.h"

#include <QHeaderView>

#include <array>

namespace pravix
{

// The list's header: white beneath its cells, the "select" section drawn by an
// NSSelectTableHeaderCell (the select-all box), the five others by NSExtendTableHeaderCells.
// Sections are clickable; what a click does is the table's (ConversionTableView).
class NSTableHeaderWhiteView : public QHeaderView
{
    Q_OBJECT

public:
    static constexpr int kHeight = 30;

    explicit NSTableHeaderWhiteView(QWidget* parent = nullptr);

    NSSelectTableHeaderCell& FileSelect() { return selectCell_; }
    const NSSelectTableHeaderCell& FileSelect() const { return selectCell_; }
    // The cell of a section: FileSelect() for the select column.
    NSExtendTableHeaderCell& headerCell(int section);

    // Draws the select-all section again (after its state changed).
    void RefreshUI();

    QSize sizeHint() const override;

protected:
    void paintEvent(QPaintEvent* event) override;
    void paintSection(QPainter* painter, const QRect& rect, int logicalIndex) const override;
    void changeEvent(QEvent* event) override;

private:
    NSSelectTableHeaderCell selectCell_;
    std::array<NSExtendTableHeaderCell, ListColumnCount> cells_;
};

}  // namespace pravix
