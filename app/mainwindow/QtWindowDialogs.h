#pragma once

#include "WindowDialogs.h"

namespace pravix
{

// The dialogs as Qt draws them: our HeicOpenPanel, a folder-only QFileDialog and QMessageBoxes
// (a sheet is a window-modal one that deletes itself when answered).
class QtWindowDialogs : public WindowDialogs
{
public:
    std::optional<QStringList> openFilesAndFolders(QWidget* parent, const QString& title) override;
    std::optional<QString> chooseFolder(QWidget* parent, const QString& prompt, const QString& startFolder) override;
    void alert(QWidget* parent, const QString& message, const QString& informative, const QString& button) override;
    bool question(QWidget* parent, const QString& message, const QString& informative, const QString& accept,
                  const QString& reject) override;
    void sheetAlert(QWidget* parent, const QString& message, const QString& informative, const QString& button) override;
};

}  // namespace pravix
