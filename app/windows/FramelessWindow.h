#pragma once

#include "TitleBarButton.h"

#include <QColor>
#include <QWidget>

#include <array>
#include <optional>

namespace pravix
{

class WindowResizeGrip;

// The frame every window of the program shares: no system title bar, the content reaching to the
// top edge, and our own round close, miniaturise and zoom buttons placed by UpdateWindowsBt. The
// window moves when dragged by its background (any spot whose widget does not take the press) and
// is resizable by its edges when asked.
class FramelessWindow : public QWidget
{
    Q_OBJECT

public:
    enum TitleButton
    {
        CloseButton = 0,
        MiniaturizeButton = 1,
        ZoomButton = 2,
    };

    explicit FramelessWindow(QWidget* parent = nullptr);
    ~FramelessWindow() override;

    TitleBarButton* titleButton(TitleButton which) const { return buttons_[which]; }
    void setTitleButtonHidden(TitleButton which, bool hidden);

    void setResizable(bool resizable);
    bool isResizable() const { return resizable_; }

    // Secondary windows close on Escape; the main window does not, or a stray key would end the program.
    void setClosesOnEscape(bool closes) { closesOnEscape_ = closes; }

    // The colour the window paints behind its content.
    void setWindowBackgroundColor(const QColor& color);
    QColor windowBackgroundColor() const { return background_; }

    // Places the three title buttons for the current interface direction (NSLanguage) and names
    // them for screen readers in the current language. Every window calls it from its RefreshUI;
    // the frame calls it on every resize. A window with more in its title band places it here too.
    virtual void UpdateWindowsBt();

protected:
    void paintEvent(QPaintEvent* event) override;
    void resizeEvent(QResizeEvent* event) override;
    void showEvent(QShowEvent* event) override;
    void changeEvent(QEvent* event) override;
    void keyPressEvent(QKeyEvent* event) override;
    void mousePressEvent(QMouseEvent* event) override;
    void mouseMoveEvent(QMouseEvent* event) override;
    void mouseReleaseEvent(QMouseEvent* event) override;
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    // Keeps the title buttons and edge grips above content made after the frame.
    void raiseFrameControls();
    void zoom();

    std::array<TitleBarButton*, 3> buttons_{};
    std::array<WindowResizeGrip*, 8> grips_{};
    bool resizable_ = false;
    bool closesOnEscape_ = false;
    QColor background_ = Qt::white;
    // Set while the window follows the pointer itself (no window manager to move it).
    std::optional<QPoint> dragOffset_;
};

}  // namespace pravix
