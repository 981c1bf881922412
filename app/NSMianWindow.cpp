#include "NSMianWindow.h"

#include "AppImages.h"

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

void NSMianWindow::closeEvent(QCloseEvent* event)
{
    FramelessWindow::closeEvent(event);
    if (event->isAccepted()) {
        emit closed();
    }
}

}  // namespace pravix
