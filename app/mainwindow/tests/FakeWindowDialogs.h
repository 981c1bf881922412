#pragma once

#include "ViewController.h"
#include "WindowDialogs.h"

#include <QQueue>
#include <QStringList>
#include <QUrl>

#include <memory>

namespace pravix::test
{

// Answers the main window's dialogs from scripted queues and records every dialog it was asked
// for as one line: "open <title>", "folder <prompt> <start>", "alert <message>|<informative>|<button>",
// "question <message>|<informative>|<accept>|<reject>", "sheet <message>|<informative>|<button>".
// With nothing scripted the panels are cancelled and questions answered with the second button.
class FakeWindowDialogs : public WindowDialogs
{
public:
    std::optional<QStringList> openFilesAndFolders(QWidget*, const QString& title) override
    {
        calls << "open " + title;
        return openAnswers.isEmpty() ? std::nullopt : openAnswers.dequeue();
    }
    std::optional<QString> chooseFolder(QWidget*, const QString& prompt, const QString& startFolder) override
    {
        calls << "folder " + prompt + " " + startFolder;
        return folderAnswers.isEmpty() ? std::nullopt : folderAnswers.dequeue();
    }
    void alert(QWidget*, const QString& message, const QString& informative, const QString& button) override
    {
        calls << "alert " + message + "|" + informative + "|" + button;
    }
    bool question(QWidget*, const QString& message, const QString& informative, const QString& accept,
                  const QString& reject) override
    {
        calls << "question " + message + "|" + informative + "|" + accept + "|" + reject;
        return questionAnswers.isEmpty() ? false : questionAnswers.dequeue();
    }
    void sheetAlert(QWidget*, const QString& message, const QString& informative, const QString& button) override
    {
        calls << "sheet " + message + "|" + informative + "|" + button;
    }

    QStringList calls;
    QQueue<std::optional<QStringList>> openAnswers;
    QQueue<std::optional<QString>> folderAnswers;
    QQueue<bool> questionAnswers;
};

// What a window under test takes: these dialogs, this batch pause, and folders "opened" into
// `opened` (never the desktop's file manager).
inline MainWindowEnvironment windowEnvironment(std::shared_ptr<FakeWindowDialogs> dialogs, std::chrono::milliseconds pause,
                                               QList<QUrl>* opened = nullptr)
{
    MainWindowEnvironment environment;
    environment.dialogs = std::move(dialogs);
    environment.batchPause = pause;
    environment.openUrl = [opened](const QUrl& url) {
        if (opened != nullptr) {
            *opened << url;
        }
        return true;
    };
    return environment;
}

}  // namespace pravix::test
