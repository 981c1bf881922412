#pragma once

#include "FramelessWindow.h"
#include "ViewController.h"


namespace pravix
{

class MainMenuBar;

// The program's one main window: the shared frameless frame (close and miniaturise; no zoom
// button), resizable, its content the ViewController. Closing it ends the program: it emits
// closed(), which start-up connects to QCoreApplication::quit (other windows may still be open).
// Destroying it stops a running batch after the entry being written.
class NSMianWindow : public FramelessWindow
{
    Q_OBJECT

public:
    static constexpr int kDefaultWidth = 980;
    static constexpr int kDefaultHeight = 660;

    explicit NSMianWindow(MainWindowEnvironment environment = {}, QWidget* parent = nullptr);
    ~NSMianWindow() override;

    // The window made last, while it lives.
    static NSMianWindow* shareInstance();

    ViewController* contentViewController() const { return controller_; }
    // Every text again in the current language (the controller's RefreshUI, which also places the
    // title buttons).
    void RefreshUI();

    // The program's menu bar, put into the header band beside the title buttons, its titles on
    // their line (the window takes it as a child). A frameless window has no system menu bar.
    void setMainMenuBar(MainMenuBar* menuBar);
    MainMenuBar* mainMenuBar() const { return menuBar_; }
    // The title buttons, and the menu bar beside them, for the current direction and titles.
    void UpdateWindowsBt() override;

signals:
    void closed();

protected:
    void closeEvent(QCloseEvent* event) override;

private:
    ViewController* controller_;
    MainMenuBar* menuBar_ = nullptr;
};

}  // namespace pravix
