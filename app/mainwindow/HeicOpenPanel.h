#pragma once

#include <QFileDialog>

namespace pravix
{

// Qt's own file dialog made to choose files and folders at once, as the list's open panel does:
// several entries may be selected, HEIC files are shown in any letter case beside the folders, and
// the accept button takes the selection as it is, folders included (a plain QFileDialog would
// open a selected folder instead). A double click still opens a folder.
class HeicOpenPanel : public QFileDialog
{
    Q_OBJECT

public:
    explicit HeicOpenPanel(QWidget* parent = nullptr);

    // The accepted selection, full paths; empty until accepted.
    QStringList chosenPaths() const { return chosen_; }

public slots:
    void accept() override;

private:
    QStringList chosen_;
};

}  // namespace pravix
