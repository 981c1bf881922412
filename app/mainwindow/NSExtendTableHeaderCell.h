#pragma once

#include <QColor>
#include <QPointer>
#include <QRect>
#include <QString>
#include <QWidget>

class QPainter;

namespace pravix
{

// The header is drawn "highlighted" (F5F5F5 instead of white) unless `window` is the active window.
bool headerCellHighlighted(const QWidget* window);

// The header cell of the list's name, size, state, preview and delete columns: a white band
// (F5F5F5 while its window is not the active one) with a faint column separator and bottom edge,
// and the title centred in a 15-pixel band.
class NSExtendTableHeaderCell
{
public:
    static constexpr qreal kTitleFontSize = 12.0;

    virtual ~NSExtendTableHeaderCell() = default;

    // The window whose activity decides the colour; unset: the application's active window.
    void setWindow(QWidget* window) { window_ = window; }
    QWidget* Window() const { return window_; }
    // Highlighted as drawWithFrame would draw it now.
    bool isHighlighted() const;

    void setTextColor(const QColor& color) { textColor_ = color; }
    QColor textColor() const { return textColor_; }
    void setAlignment(Qt::Alignment alignment) { alignment_ = alignment; }
    Qt::Alignment alignment() const { return alignment_; }
    void setElideMode(Qt::TextElideMode mode) { elideMode_ = mode; }
    Qt::TextElideMode elideMode() const { return elideMode_; }

    // The band the title is drawn in: (x, (h - 15) / 2, w, 15).
    static QRect titleRect(const QRect& frame);

    virtual void drawWithFrame(QPainter* painter, const QRect& frame, bool highlighted, const QString& title);

protected:
    // The fill, the column separator and the bottom edge shared by both header cells.
    static void drawBackground(QPainter* painter, const QRect& frame, bool highlighted);
    void drawTitle(QPainter* painter, const QRect& frame, const QString& title) const;

private:
    QPointer<QWidget> window_;
    QColor textColor_ = QColor(0x26, 0x26, 0x26);
    Qt::Alignment alignment_ = Qt::AlignCenter;
    Qt::TextElideMode elideMode_ = Qt::ElideNone;
};

}  // namespace pravix
