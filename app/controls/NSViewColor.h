#pragma once

#include <QColor>
#include <QWidget>

#include <functional>
#include <optional>

namespace pravix
{

// A view filled with one colour, optionally rounded (cornerRadius) and bordered (miaobianW wide,
// in miaobianColor, black when unset). A press calls handlerMouseDown and then goes on to the
// parent as usual (so a frameless window still moves when its background is dragged).
class NSViewColor : public QWidget
{
    Q_OBJECT

public:
    explicit NSViewColor(QWidget* parent = nullptr);

    void setBackgroundColor(const QColor& color);
    std::optional<QColor> backgroundColor() const { return backgroundColor_; }
    void setCornerRadius(qreal radius);
    qreal cornerRadius() const { return cornerRadius_; }
    void setMiaobianW(qreal width);
    qreal miaobianW() const { return miaobianW_; }
    void setMiaobianColor(const QColor& color);
    // The border's colour: black until set.
    QColor miaobianColor() const { return miaobianColor_.value_or(QColor(Qt::black)); }
    void setHandlerMouseDown(std::function<void(QMouseEvent*)> handler) { handlerMouseDown_ = std::move(handler); }
    // Kept and answered, NO after construction; the drawing is the same either way up.
    void setFlipped(bool flipped) { flipped_ = flipped; }
    bool isFlipped() const { return flipped_; }

protected:
    void paintEvent(QPaintEvent* event) override;
    void mousePressEvent(QMouseEvent* event) override;

private:
    std::optional<QColor> backgroundColor_;
    qreal cornerRadius_ = 0;
    qreal miaobianW_ = 0;
    std::optional<QColor> miaobianColor_;
    bool flipped_ = false;
    std::function<void(QMouseEvent*)> handlerMouseDown_;
};

}  // namespace pravix
