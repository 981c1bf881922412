#pragma once

#include <QAbstractButton>

namespace pravix
{

// One of the three round buttons of our title strip: red close, yellow miniaturise, green zoom;
// grey while the window is inactive; the symbol shows while the pointer is over the group.
class TitleBarButton : public QAbstractButton
{
    Q_OBJECT

public:
    enum class Kind
    {
        Close,
        Miniaturize,
        Zoom,
    };

    static constexpr int kSize = 14;

    explicit TitleBarButton(Kind kind, QWidget* parent = nullptr);

    Kind kind() const { return kind_; }
    // The pointer is over one of the group: every button shows its symbol.
    void setGroupHovered(bool hovered);
    bool isGroupHovered() const { return groupHovered_; }

    QSize sizeHint() const override;

protected:
    void paintEvent(QPaintEvent* event) override;

private:
    Kind kind_;
    bool groupHovered_ = false;
};

}  // namespace pravix
