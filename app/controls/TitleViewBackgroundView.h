#pragma once

#include <QWidget>

namespace pravix
{

// Draws the background of a title view on behalf of TitleViewBackgroundView.
class TitleViewBackgroundViewDelegate
{
public:
    virtual void drawRect(QPainter& painter, const QRect& rect) = 0;

protected:
    ~TitleViewBackgroundViewDelegate() = default;
};

// A view whose drawing its delegate does, clipped to the view's bounds. The delegate is held
// without ownership and must outlive the view or be cleared.
class TitleViewBackgroundView : public QWidget
{
    Q_OBJECT

public:
    explicit TitleViewBackgroundView(QWidget* parent = nullptr);

    void setDelegate(TitleViewBackgroundViewDelegate* delegate);
    TitleViewBackgroundViewDelegate* delegate() const { return delegate_; }

protected:
    void paintEvent(QPaintEvent* event) override;

private:
    TitleViewBackgroundViewDelegate* delegate_ = nullptr;
};

}  // namespace pravix
