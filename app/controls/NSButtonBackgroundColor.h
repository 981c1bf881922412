#pragma once

#include <QPushButton>

#include <optional>

namespace pravix
{

// Size of a text's wrapped bounding rectangle in `font` within `maxSize`; zero for no text.
QSizeF configureTextSizeWithString(const QString& text, const QFont& font, const QSizeF& maxSize);

// A push button with a coloured background, corners rounded by 5, and its title centred in its
// own colour (white unless set).
class NSButtonBackgroundColor : public QPushButton
{
    Q_OBJECT

public:
    static constexpr qreal kCornerRadius = 5.0;

    explicit NSButtonBackgroundColor(QWidget* parent = nullptr);

    void setBackgroundColor(const QColor& color);
    std::optional<QColor> BackgroundColor() const { return backgroundColor_; }
    void setTextColor(const QColor& color);
    // The same as the two setters.
    void Background_Color(const QColor& color) { setBackgroundColor(color); }
    void Text_Color(const QColor& color) { setTextColor(color); }
    // White when unset.
    QColor textColor() const { return textColor_.value_or(QColor(Qt::white)); }

protected:
    void paintEvent(QPaintEvent* event) override;

private:
    std::optional<QColor> backgroundColor_;
    std::optional<QColor> textColor_;
};

}  // namespace pravix
