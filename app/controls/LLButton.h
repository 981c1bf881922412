#pragma once

#include <QPushButton>

#include <optional>

namespace pravix
{

// A push button that draws its own title (defaultTitle) with an optional under- or strike-through
// line (ButtonDrawing.h) over the style's button; the title is placed by titleAlignment.
class LLButton : public QPushButton
{
    Q_OBJECT

public:
    explicit LLButton(QWidget* parent = nullptr);

    void setDefaultTitle(const QString& title);
    QString defaultTitle() const { return defaultTitle_; }
    void setDefaultTitleColor(const QColor& color);
    // Black when unset.
    QColor defaultTitleColor() const;
    void setTextUnderLineStyle(int style);
    int textUnderLineStyle() const { return textUnderLineStyle_; }
    void setTitleAlignment(Qt::Alignment alignment);
    Qt::Alignment titleAlignment() const { return titleAlignment_; }

protected:
    void paintEvent(QPaintEvent* event) override;

private:
    QString defaultTitle_;
    std::optional<QColor> defaultTitleColor_;
    int textUnderLineStyle_ = 0;
    Qt::Alignment titleAlignment_ = Qt::AlignHCenter;
};

}  // namespace pravix
