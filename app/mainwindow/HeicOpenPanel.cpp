#include "HeicOpenPanel.h"

#include <QAbstractItemView>

namespace pravix
{

HeicOpenPanel::HeicOpenPanel(QWidget* parent)
    : QFileDialog(parent)
{
    setOption(QFileDialog::DontUseNativeDialog, true);
    setFileMode(QFileDialog::ExistingFiles);
    setAcceptMode(QFileDialog::AcceptOpen);
    // The file system model matches name filters without regard to case unless told otherwise,
    // so "x.HEIC" and "x.HeIc" are offered too.
    setNameFilter(QStringLiteral("HEIC (*.heic)"));
    setFilter(QDir::AllDirs | QDir::Files | QDir::NoDotAndDotDot);
    for (QAbstractItemView* view : findChildren<QAbstractItemView*>()) {
        view->setSelectionMode(QAbstractItemView::ExtendedSelection);
    }
}

void HeicOpenPanel::accept()
{
    const QStringList files = selectedFiles();
    if (files.isEmpty()) {
        return;
    }
    chosen_ = files;
    QDialog::accept();
}

}  // namespace pravix
