#pragma once

#include <QAbstractButton>
#include <QColor>
#include <QFont>
#include <QPixmap>

#include <optional>

namespace pravix
{

// A button drawn entirely by itself with a normal and a pressed ("selected") look: title, title
// colour, font, background image or colour, rounded corners chosen by a bit set (ButtonDrawing.h),
// title alignment and under- or strike-through lines. It is pressed from a press inside it until
// the release; a release outside restores the normal look without clicking. clicked() is its
// action.
class LLCustomBtn : public QAbstractButton
{
    Q_OBJECT

public:
    // What one draw uses, after the pressed look's fall-backs to the normal one.
    struct Look
    {
        QString title;
        QFont font;
        QColor titleColor;
        QPixmap backgroundImage;  // wins over the colour when set
        QColor backgroundColor;   // transparent when none
    };

    explicit LLCustomBtn(QWidget* parent = nullptr);

    // Each setter redraws only when the value changes.
    void setDefaultTitle(const QString& title);
    void setSelectedTitle(const QString& title);
    void setDefaultTitleColor(const QColor& color);
    void setSelectedTitleColor(const QColor& color);
    void setDefaultFont(const QFont& font);
    void setSelectedFont(const QFont& font);
    void setDefaultBackgroundImage(const QPixmap& image);
    void setSelectedBackgroundImage(const QPixmap& image);
    void setDefaultBackgroundColor(const QColor& color);
    void setSelectedBackgroundColor(const QColor& color);
    void setRadius(double radius);
    void setRectCorners(int corners);
    // 0 left, 1 centre, anything else right.
    void setTextAlignment(int alignment);
    void setTextUnderLineStyle(int style);
    void setIsHandCursor(bool hand);

    // The look as set: an empty title, a null image or no colour or font means unset (the draw then
    // falls back, see currentLook).
    QString defaultTitle() const { return defaultTitle_; }
    QString selectedTitle() const { return selectedTitle_; }
    std::optional<QColor> defaultTitleColor() const { return defaultTitleColor_; }
    std::optional<QColor> selectedTitleColor() const { return selectedTitleColor_; }
    std::optional<QFont> defaultFont() const { return defaultFont_; }
    std::optional<QFont> selectedFont() const { return selectedFont_; }
    QPixmap defaultBackgroundImage() const { return defaultBackgroundImage_; }
    QPixmap selectedBackgroundImage() const { return selectedBackgroundImage_; }
    std::optional<QColor> defaultBackgroundColor() const { return defaultBackgroundColor_; }
    std::optional<QColor> selectedBackgroundColor() const { return selectedBackgroundColor_; }
    double radius() const { return radius_; }
    int rectCorners() const { return rectCorners_; }
    int textAlignment() const { return textAlignment_; }
    int textUnderLineStyle() const { return textUnderLineStyle_; }
    bool isHandCursor() const { return isHandCursor_; }
    // Being pressed.
    bool mouseDown() const { return isDown(); }

    // The look of a draw now (pressed or not), with the fall-backs: title "按钮", the system font
    // of 17, black.
    Look currentLook() const;

    QSize sizeHint() const override;

protected:
    void paintEvent(QPaintEvent* event) override;

private:
    template <typename T>
    void assign(T& field, const T& value);

    QString defaultTitle_;
    QString selectedTitle_;
    std::optional<QColor> defaultTitleColor_;
    std::optional<QColor> selectedTitleColor_;
    std::optional<QFont> defaultFont_;
    std::optional<QFont> selectedFont_;
    QPixmap defaultBackgroundImage_;
    QPixmap selectedBackgroundImage_;
    std::optional<QColor> defaultBackgroundColor_;
    std::optional<QColor> selectedBackgroundColor_;
    double radius_ = 0;
    int rectCorners_ = 0;
    int textAlignment_ = 1;
    int textUnderLineStyle_ = 0;
    bool isHandCursor_ = false;
};

}  // namespace pravix
