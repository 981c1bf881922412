#include "NSWindowControllerCheckUpdateApp.h"

#include "AppImages.h"
#include "NSButtonBackgroundColor.h"
#include "NSLanguage.h"
#include "SharedWindow.h"
#include "ProgressSpinner.h"
#include "UpdateWindowLayout.h"
#include "UrlOpener.h"
#include "WidgetExtensions.h"

#include <QCoreApplication>
#include <QLabel>
#include <QPlainTextEdit>
#include <QScrollArea>

#include <iostream>

namespace pravix
{
namespace
{

// The window's own drawing: vertical places and heights, and the fixed widths.
constexpr int kIconSize = 64;
constexpr int kTopY = 44;
constexpr int kSpinnerSize = 28;
constexpr int kNotesY = kTopY + kIconSize + 14;
constexpr int kButtonHeight = 32;
constexpr int kButtonY = NSWindowControllerCheckUpdateApp::kHeight - 18 - kButtonHeight;
constexpr int kNotesHeight = kButtonY - 16 - kNotesY;
// The status line's own width: from 10 past the icon to 30 before the far edge.
constexpr int kTitleWidth = NSWindowControllerCheckUpdateApp::kWidth - 30 - kIconSize - 10 - 30;
constexpr float kTitleFontSize = 15;
constexpr float kNotesFontSize = 13;

NSButtonBackgroundColor* hostedButton(QWidget* host, const QColor& background)
{
    auto* button = new NSButtonBackgroundColor(host);
    button->setBackgroundColor(background);
    button->setFont(SystemFont(NSWindowControllerCheckUpdateApp::kButtonFontSize));
    button->setAutoDefault(true);  // Return presses the focused button
    button->setCursor(Qt::PointingHandCursor);
    return button;
}

}  // namespace

NSWindowControllerCheckUpdateApp::NSWindowControllerCheckUpdateApp(UpdateCheckerSources sources, QWidget* parent)
    : FramelessWindow(parent)
    , checker_(new UpdateChecker(std::move(sources), this))
{
    // Only hidden when closed, and never what keeps the program running.
    setAttribute(Qt::WA_DeleteOnClose, false);
    setAttribute(Qt::WA_QuitOnClose, false);
    setClosesOnEscape(true);
    setFixedSize(kWidth, kHeight);
    setTitleButtonHidden(MiniaturizeButton, true);
    setTitleButtonHidden(ZoomButton, true);
    setWindowBackgroundColor(Qt::white);

    appIcon_ = new QLabel(this);
    appIcon_->setGeometry(30, kTopY, kIconSize, kIconSize);

    newVersionTitle_ = CreateLabel(QRect(0, kTopY, kTitleWidth, kIconSize), this);
    newVersionTitle_->setFont(SystemFont(kTitleFontSize));
    newVersionTitle_->setWordWrap(true);
    QPalette titlePalette = newVersionTitle_->palette();
    titlePalette.setColor(QPalette::WindowText, QColor(0x22, 0x22, 0x22));
    newVersionTitle_->setPalette(titlePalette);

    // Kept from the window's description, where it stood under the status line; the notes are
    // not inside it, so they show whatever becomes of it.
    newVersionTitleScrollView_ = new QScrollArea(this);
    newVersionTitleScrollView_->setGeometry(0, kNotesY, kTitleWidth, kNotesHeight);
    newVersionTitleScrollView_->setFrameShape(QFrame::NoFrame);
    newVersionTitleScrollView_->hide();

    updateInfo_ = new QPlainTextEdit(this);
    updateInfo_->setReadOnly(true);
    updateInfo_->setFont(SystemFont(kNotesFontSize));
    updateInfo_->setFrameShape(QFrame::NoFrame);
    updateInfo_->setTextInteractionFlags(Qt::TextSelectableByMouse | Qt::TextSelectableByKeyboard);
    QPalette notesPalette = updateInfo_->palette();
    notesPalette.setColor(QPalette::Base, ColorHex(QStringLiteral("F5F5F5")));
    notesPalette.setColor(QPalette::Text, QColor(0x33, 0x33, 0x33));
    updateInfo_->setPalette(notesPalette);
    updateInfo_->document()->setDocumentMargin(8);
    updateInfo_->setGeometry(0, kNotesY, kTitleWidth, kNotesHeight);
    updateInfo_->hide();

    updateAppButtonView_ = new QWidget(this);
    updateAppButton_ = hostedButton(updateAppButtonView_, ColorHex(QStringLiteral("5F36B3")));
    connect(updateAppButton_, &QAbstractButton::clicked, this, &NSWindowControllerCheckUpdateApp::UpdateButtonEvent);
    updateAppButtonView_->hide();
    cloesButtonView_ = new QWidget(this);
    cloesButton_ = hostedButton(cloesButtonView_, ColorHex(QStringLiteral("6B6B73")));
    connect(cloesButton_, &QAbstractButton::clicked, this, &QWidget::close);

    loadingShow_ = new ProgressSpinner(this);
    loadingShow_->resize(kSpinnerSize, kSpinnerSize);
    loadingShow_->hide();

    setTabOrder(updateInfo_, updateAppButton_);
    setTabOrder(updateAppButton_, cloesButton_);

    connect(checker_, &UpdateChecker::checkFinished, this, &NSWindowControllerCheckUpdateApp::showResult);
    UpdateWindowsBt();
}

NSWindowControllerCheckUpdateApp::~NSWindowControllerCheckUpdateApp() = default;

NSWindowControllerCheckUpdateApp& NSWindowControllerCheckUpdateApp::shareInstance()
{
    return sharedWindow<NSWindowControllerCheckUpdateApp>();
}

void NSWindowControllerCheckUpdateApp::Show(QObject*)
{
    showInFront(*this, !loaded_);
    loaded_ = true;
    CheckUpdate();
    cloesButton_->setFocus(Qt::ActiveWindowFocusReason);
}

void NSWindowControllerCheckUpdateApp::RefreshUI()
{
    if (loaded_) {
        CheckUpdate();
    }
}

void NSWindowControllerCheckUpdateApp::CheckUpdate()
{
    const int direction = NSLanguage::shareInstance().Direction();
    setLayoutDirection(direction == 1 ? Qt::RightToLeft : Qt::LeftToRight);
    setWindowTitle(localizedText(QStringLiteral("CheckUpdateApp")));
    updateAppButton_->setText(localizedText(QStringLiteral("UpdateApp")));
    cloesButton_->setText(localizedText(QStringLiteral("Cloes")));
    updateAppButton_->setAccessibleName(updateAppButton_->text());
    cloesButton_->setAccessibleName(cloesButton_->text());
    appIcon_->setPixmap(appPixmap(QStringLiteral("AppIcon"), QSize(kIconSize, kIconSize), devicePixelRatioF()));
    appIcon_->setAccessibleName(QCoreApplication::applicationName());
    loadingShow_->setAccessibleName(windowTitle());
    updateInfo_->setAccessibleName(localizedText(QStringLiteral("NewVersionTitle")));

    state_ = State::Checking;
    loadingShow_->show();
    loadingShow_->startAnimation();
    newVersionTitle_->hide();
    updateAppButtonView_->hide();
    newVersionTitleScrollView_->hide();
    updateInfo_->clear();
    updateInfo_->hide();

    layOut(direction);
    checker_->check();
    updateAppButton_->setTextColor(Qt::white);
    cloesButton_->setTextColor(Qt::white);
    UpdateWindowsBt();
}

void NSWindowControllerCheckUpdateApp::layOut(int direction)
{
    UpdateWindowLayoutInput input;
    input.windowWidth = width();
    input.direction = direction;
    input.iconWidth = appIcon_->width();
    input.titleWidth = newVersionTitle_->width();
    input.closeButtonWidth = buttonWidthForTitle(cloesButton_->text(), kButtonFontSize);
    input.updateButtonWidth = buttonWidthForTitle(updateAppButton_->text(), kButtonFontSize);
    const UpdateWindowLayout layout = updateWindowLayout(input);

    appIcon_->move(qRound(layout.iconX), appIcon_->y());
    newVersionTitle_->move(qRound(layout.titleX), newVersionTitle_->y());
    newVersionTitle_->setAlignment(layout.titleAlignment | Qt::AlignVCenter);
    cloesButtonView_->setGeometry(
        QRectF(layout.closeViewX, kButtonY, layout.closeViewWidth, kButtonHeight).toAlignedRect());
    updateAppButtonView_->setGeometry(
        QRectF(layout.updateViewX, kButtonY, layout.updateViewWidth, kButtonHeight).toAlignedRect());
    cloesButton_->setGeometry(cloesButtonView_->rect());
    updateAppButton_->setGeometry(updateAppButtonView_->rect());
    newVersionTitleScrollView_->move(newVersionTitle_->x(), newVersionTitleScrollView_->y());
    // The notes stand under the status line; the spinner where the status line begins.
    updateInfo_->move(newVersionTitle_->x(), updateInfo_->y());
    const int spinnerX = direction == 1 ? newVersionTitle_->geometry().right() + 1 - kSpinnerSize : newVersionTitle_->x();
    loadingShow_->move(spinnerX, kTopY + (kIconSize - kSpinnerSize) / 2);
}

void NSWindowControllerCheckUpdateApp::showResult(quint64 tag, const UpdateCheckResult& result)
{
    if (tag != checker_->currentTag()) {
        return;  // the answer of a check that a later one replaced
    }
    switch (result.outcome) {
    case UpdateOutcome::NewerVersion:
        state_ = State::NewerVersion;
        setStatus(localizedText(QStringLiteral("NewVersionTitle")));
        // Notes are the server's words: shown as plain text, never as markup.
        updateInfo_->setPlainText(result.notes);
        updateInfo_->setVisible(!result.notes.isEmpty());
        updateAppButtonView_->show();
        break;
    case UpdateOutcome::CurrentVersion:
        state_ = State::CurrentVersion;
        setStatus(localizedText(QStringLiteral("CurrNewVersionTitle")));
        break;
    case UpdateOutcome::NoReply:
    case UpdateOutcome::NotARecord:
        state_ = State::NetworkFailure;
        std::cout << "【日志】Update check failed: " << result.detail.toUtf8().constData() << std::endl;
        setStatus(localizedText(QStringLiteral("您的网络无法访问，请检查网络！")));
        break;
    case UpdateOutcome::NoUpdateServer:
        // Nothing was tried: saying the network failed would send the user hunting for a fault.
        state_ = State::NoUpdateServer;
        setStatus(localizedText(QStringLiteral("NoUpdateServer")));
        break;
    }
    loadingShow_->stopAnimation();
    loadingShow_->hide();
}

void NSWindowControllerCheckUpdateApp::setStatus(const QString& text)
{
    newVersionTitle_->setText(text);
    // A changing status: its text stays readable to assistive tools.
    newVersionTitle_->setAccessibleDescription(text);
    newVersionTitle_->show();
}

void NSWindowControllerCheckUpdateApp::UpdateButtonEvent()
{
    const QUrl url = strUrlDownload();
    if (!url.isEmpty()) {
        UrlOpener::open(url);
    }
}

}  // namespace pravix
