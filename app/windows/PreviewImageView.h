#pragma once

#include <QImage>
#include <QPixmap>
#include <QWidget>

namespace pravix
{

// The size a picture of `image` is shown at in `area`: its own size when it fits, else scaled down
// keeping its proportions (never up).
QSize previewDisplaySize(const QSize& image, const QSize& area);

// Shows one picture centred in its area, scaled down to fit when larger. The scaled copy is made
// once per size, not on every paint.
class PreviewImageView : public QWidget
{
    Q_OBJECT

public:
    explicit PreviewImageView(QWidget* parent = nullptr);

    void setImage(const QImage& image);
    const QImage& image() const { return image_; }
    // Where the picture is drawn now, in the view's coordinates; empty without a picture.
    QRect pictureRect() const;

protected:
    void paintEvent(QPaintEvent* event) override;

private:
    QImage image_;
    QPixmap scaled_;
};

}  // namespace pravix
