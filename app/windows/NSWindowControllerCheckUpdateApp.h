#pragma once

#include "FramelessWindow.h"
#include "UpdateChecker.h"

#include <QUrl>

class QLabel;
class QPlainTextEdit;
class QScrollArea;

namespace pravix
{

class NSButtonBackgroundColor;
class ProgressSpinner;

// The update-check window: a spinner while the update checker asks the update server, then the
// answer: a newer version with its notes and an update button that opens the download address,
// the running version being current, or the network not being reachable; in a build without an
// update server (whose menu item is off) it says that this version checks for no update. It only
// shows what the
// checker (UpdateChecker) answers. Mirrored for right-to-left languages; one shared instance;
// closing only hides it; Escape closes it.
class NSWindowControllerCheckUpdateApp : public FramelessWindow
{
    Q_OBJECT

public:
    static constexpr int kWidth = 520;
    static constexpr int kHeight = 300;
    static constexpr float kButtonFontSize = 13;

    enum class State
    {
        NotChecked,
        Checking,
        NewerVersion,
        CurrentVersion,
        NetworkFailure,
        NoUpdateServer,
    };

    explicit NSWindowControllerCheckUpdateApp(UpdateCheckerSources sources = UpdateCheckerSources::thisCopy(),
                                              QWidget* parent = nullptr);
    ~NSWindowControllerCheckUpdateApp() override;

    // The program's one update-check window, made on first use with the build's update server and
    // the application's version (set it before).
    static NSWindowControllerCheckUpdateApp& shareInstance();

    // Shows the window in front (centred on the screen the first time) and starts a check.
    void Show(QObject* sender = nullptr);
    // After a change of interface language: a new check in the new language when the window has
    // been shown before (open or closed); nothing otherwise.
    void RefreshUI();
    // Labels and lays out the window in the current language, shows the spinner and starts a new
    // check, which supersedes any earlier one still running.
    void CheckUpdate();
    // Opens the download address in the default browser when there is one.
    void UpdateButtonEvent();

    bool isWindowLoaded() const { return loaded_; }
    State state() const { return state_; }
    // The download address of the last check that found a newer version (kept across later checks
    // that find none); empty when there was none.
    QUrl strUrlDownload() const { return checker_->downloadUrl(); }
    UpdateChecker* checker() const { return checker_; }

    QLabel* AppIcon() const { return appIcon_; }
    QLabel* NewVersionTitle() const { return newVersionTitle_; }
    QScrollArea* NewVersionTitleScrollView() const { return newVersionTitleScrollView_; }
    QPlainTextEdit* UpdateInfo() const { return updateInfo_; }
    NSButtonBackgroundColor* UpdateAppButton() const { return updateAppButton_; }
    QWidget* UpdateAppButtonView() const { return updateAppButtonView_; }
    NSButtonBackgroundColor* CloesButton() const { return cloesButton_; }
    QWidget* CloesButtonView() const { return cloesButtonView_; }
    ProgressSpinner* LoadingShow() const { return loadingShow_; }

protected:

private:
    void layOut(int direction);
    void showResult(quint64 tag, const UpdateCheckResult& result);
    void setStatus(const QString& text);

    UpdateChecker* checker_;
    bool loaded_ = false;
    State state_ = State::NotChecked;

    QLabel* appIcon_;
    QLabel* newVersionTitle_;
    QScrollArea* newVersionTitleScrollView_;
    QPlainTextEdit* updateInfo_;
    QWidget* updateAppButtonView_;
    NSButtonBackgroundColor* updateAppButton_;
    QWidget* cloesButtonView_;
    NSButtonBackgroundColor* cloesButton_;
    ProgressSpinner* loadingShow_;
};

}  // namespace pravix
