#include "NSMianWindow.h"

#include "AppImages.h"
#include "MainMenuBar.h"
#include "MainWindowLayout.h"
#include "NSLanguage.h"

#include <QCloseEvent>
#include <QVBoxLayout>

namespace pravix
{
namespace
{

NSMianWindow* sharedWindow = nullptr;

// The window is drawn light whatever the desktop's colour scheme: its views fill themselves in
// fixed light colours, and the texts on them must stay dark.
QPalette lightPalette()
{
    QPalette palette(QColor(0xf3, 0xf3, 0xf5), QColor(Qt::white));
    palette.setColor(QPalette::WindowText, QColor(0x22, 0x22, 0x2a));
    palette.setColor(QPalette::Text, QColor(0x22, 0x22, 0x2a));
    palette.setColor(QPalette::ButtonText, QColor(0x22, 0x22, 0x2a));
    palette.setColor(QPalette::Base, Qt::white);
    palette.setColor(QPalette::AlternateBase, QColor(0xf7, 0xf6, 0xfb));
    palette.setColor(QPalette::Highlight, QColor(0x6e, 0x39, 0xc0));
    palette.setColor(QPalette::HighlightedText, Qt::white);
    palette.setColor(QPalette::ToolTipBase, QColor(0xff, 0xff, 0xf0));
    palette.setColor(QPalette::ToolTipText, QColor(0x22, 0x22, 0x2a));
    palette.setColor(QPalette::PlaceholderText, QColor(0x8a, 0x8a, 0x96));
    for (QPalette::ColorRole role : {QPalette::WindowText, QPalette::Text, QPalette::ButtonText}) {
        palette.setColor(QPalette::Disabled, role, QColor(0xa4, 0xa4, 0xae));
    }
    return palette;
}

}  // namespace

NSMianWindow::NSMianWindow(MainWindowEnvironment environment, QWidget* parent)
    : FramelessWindow(parent)
{
    sharedWindow = this;
    setPalette(lightPalette());
    setWindowIcon(appIcon(QStringLiteral("AppIcon")));
    setTitleButtonHidden(ZoomButton, true);
    setResizable(true);
    setWindowBackgroundColor(Qt::white);
    controller_ = new ViewController(std::move(environment), this);
    auto* layout = new QVBoxLayout(this);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->addWidget(controller_);
    resize(kDefaultWidth, kDefaultHeight);
    RefreshUI();
}

NSMianWindow::~NSMianWindow()
{
    if (sharedWindow == this) {
        sharedWindow = nullptr;
    }
}

NSMianWindow* NSMianWindow::shareInstance()
{
    return sharedWindow;
}

void NSMianWindow::RefreshUI()
{
    controller_->RefreshUI();
}

void NSMianWindow::setMainMenuBar(MainMenuBar* menuBar)
{
    menuBar_ = menuBar;
    menuBar_->setParent(this);
    const QRect close = titleButton(CloseButton)->geometry();
    menuBar_->setTitleBand(MainWindowLayout::kHeaderHeight, close.top() + close.height() / 2);
    menuBar_->show();
    menuBar_->raise();
    UpdateWindowsBt();
}

void NSMianWindow::UpdateWindowsBt()
{
    FramelessWindow::UpdateWindowsBt();
    if (!menuBar_) {
        return;
    }
    // Beside the buttons that show (the zoom button's empty place would leave a gap).
    QRect buttons;
    for (TitleButton which : {CloseButton, MiniaturizeButton, ZoomButton}) {
        if (!titleButton(which)->isHidden()) {
            buttons |= titleButton(which)->geometry();
        }
    }
    const int direction = NSLanguage::shareInstance().Direction();
    const QRect bar = mainMenuBarFrame(buttons, direction, menuBar_->sizeHint());
    menuBar_->setGeometry(bar);
    menuBar_->raise();
    // The logo and name keep clear of the bar in a narrow window.
    if (direction == 1) {
        controller_->setHeaderReserved(0, width() - bar.left() + kMainMenuBarGap);
    } else {
        controller_->setHeaderReserved(bar.right() + 1 + kMainMenuBarGap, 0);
    }
}

void NSMianWindow::closeEvent(QCloseEvent* event)
{
    FramelessWindow::closeEvent(event);
    if (event->isAccepted()) {
        emit closed();
    }
}

}  // namespace pravix
