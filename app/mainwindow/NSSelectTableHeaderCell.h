#pragma once

#include "NSExtendTableHeaderCell.h"

namespace pravix
{

// The header cell of the "select" column: the select-all box, drawn centred from one of three
// images: "Check_NO" (Select 0), "Check_YES" (1) or "Check" (any other value, mixed).
class NSSelectTableHeaderCell : public NSExtendTableHeaderCell
{
public:
    NSSelectTableHeaderCell();

    // No box until SelectHidden is cleared, Select 0.
    void DefaultSelect();

    void setSelectHidden(bool hidden) { selectHidden_ = hidden; }
    bool SelectHidden() const { return selectHidden_; }

    void setSelect(int select);
    int Select() const { return select_; }
    // The image name of the current state.
    QString SelectImage() const { return selectImage_; }

    // The box's place: centred, at its own size.
    static QRect boxRect(const QRect& frame, const QSize& imageSize);

    void drawWithFrame(QPainter* painter, const QRect& frame, bool highlighted, const QString& title) override;

private:
    bool selectHidden_ = false;
    int select_ = 0;
    QString selectImage_;
};

}  // namespace pravix
