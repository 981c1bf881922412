#pragma once

#include <QColor>
#include <QRect>
#include <QStyleOptionViewItem>

class QPainter;

namespace pravix
{

// The painters of the list's six cells and of its row. The list makes no widget per row: the
// delegate (ConversionListDelegate) asks these for their parts' rectangles (the same for drawing
// and for hit-testing clicks) and has them draw a row's values from the model. Rectangles are in
// the view's coordinates and mirrored for a right-to-left layout.

// The row: the selection fill "c3d2dd", else the alternating or plain base.
class BDTableRowView
{
public:
    static QColor selectionColor();
    static void drawBackground(QPainter* painter, const QStyleOptionViewItem& option);
};

// "select": the tick box, framed at (8, 0) with size (W - 12, H), its box at the start.
class NSTableCellFileSelect
{
public:
    static constexpr int kBoxSize = 16;
    // The check box's frame; a click anywhere in it toggles the tick.
    static QRect SelectBtRect(const QRect& cell, Qt::LayoutDirection direction);
    static QRect boxRect(const QRect& cell, Qt::LayoutDirection direction);
    static void paint(QPainter* painter, const QStyleOptionViewItem& option, bool selected);
};

// "name" and "size": one centred line at (5, (H - h) / 2), width W - 10, elided in the middle
// (name) or at the end (size) when too long.
class NSTableCellFileName
{
public:
    static QRect FileNameRect(const QRect& cell, int lineHeight);
    static void paint(QPainter* painter, const QStyleOptionViewItem& option, const QString& name);
};

class NSTableCellFileSize
{
public:
    static QRect FileSizeRect(const QRect& cell, int lineHeight);
    static void paint(QPainter* painter, const QStyleOptionViewItem& option, const QString& size);
};

// "state": the text, wrapped and fitted (fitStateText) in (5, 0, W - 10, H), or the 18 x 18 icon
// centred.
class NSTableCellStateView
{
public:
    static constexpr int kIconSize = 18;
    static QRect StateIcoRect(const QRect& cell);
    static QRect StateTextRect(const QRect& cell);
    static void paint(QPainter* painter, const QStyleOptionViewItem& option, const QString& text,
                      const QString& iconName);
};

// "prview" and "delete": an 18 x 18 image button centred in the cell.
class NSTableCellPreview
{
public:
    static constexpr int kButtonSize = 18;
    static QRect PreButtonRect(const QRect& cell);
    static void paint(QPainter* painter, const QStyleOptionViewItem& option, bool pressed);
};

class NSTableCellDeleteView
{
public:
    static constexpr int kButtonSize = 18;
    static QRect DeleteButtonRect(const QRect& cell);
    static void paint(QPainter* painter, const QStyleOptionViewItem& option, bool pressed);
};

}  // namespace pravix
