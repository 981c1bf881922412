#pragma once

#include <QString>
#include <QStringList>

#include <optional>

class QWidget;

namespace pravix
{

// The dialogs the main window opens, behind one interface so that tests answer them. Every text
// comes in already looked up; `parent` is the window the dialog belongs to.
class WindowDialogs
{
public:
    virtual ~WindowDialogs() = default;

    // Files and folders, several at once, HEIC files offered (any letter case); modal. None when
    // cancelled.
    virtual std::optional<QStringList> openFilesAndFolders(QWidget* parent, const QString& title) = 0;
    // One folder, starting in `startFolder`, its accept button titled `prompt`; modal to the
    // window. None when cancelled.
    virtual std::optional<QString> chooseFolder(QWidget* parent, const QString& prompt, const QString& startFolder) = 0;
    // An informational alert with one button, run modally.
    virtual void alert(QWidget* parent, const QString& message, const QString& informative, const QString& button) = 0;
    // A question with two buttons, run modally; true for the first (`accept`).
    virtual bool question(QWidget* parent, const QString& message, const QString& informative, const QString& accept,
                          const QString& reject) = 0;
    // An informational alert with one button as a sheet: modal to the window only, returning at
    // once.
    virtual void sheetAlert(QWidget* parent, const QString& message, const QString& informative,
                            const QString& button) = 0;
};

}  // namespace pravix
