#include "QtWindowDialogs.h"

#include "AppImages.h"
#include "HeicOpenPanel.h"
#include "NSLanguage.h"
#include "WidgetExtensions.h"

#include <QLabel>
#include <QMessageBox>
#include <QPushButton>

#include <algorithm>

namespace pravix
{
namespace
{

// Dialogs read in the interface language's direction, whatever their window does.
Qt::LayoutDirection interfaceDirection()
{
    return NSLanguage::shareInstance().Direction() == 1 ? Qt::RightToLeft : Qt::LeftToRight;
}

// An alert as the desktop draws one: the program's icon, the message as a bold heading and the
// informative text below it at a readable width (a message box otherwise wraps it after a few
// words), on white.
void setInformation(QMessageBox& box, const QString& message, const QString& informative)
{
    box.setLayoutDirection(interfaceDirection());
    box.setIconPixmap(appPixmap(QStringLiteral("AppIcon"), QSize(56, 56), box.devicePixelRatioF()));
    box.setWindowTitle(message);
    box.setTextFormat(Qt::PlainText);
    box.setText(message);
    box.setInformativeText(informative);
    QPalette palette = box.palette();
    palette.setColor(QPalette::Window, Qt::white);
    box.setPalette(palette);
    if (auto* heading = box.findChild<QLabel*>(QStringLiteral("qt_msgbox_label"))) {
        QFont font = SystemFont(15);
        font.setWeight(QFont::DemiBold);
        heading->setFont(font);
    }
    if (auto* body = box.findChild<QLabel*>(QStringLiteral("qt_msgbox_informativelabel"))) {
        body->setFont(SystemFont(13));
        body->setMinimumWidth(std::min(360, body->fontMetrics().horizontalAdvance(informative) + 8));
    }
}

}  // namespace

std::optional<QStringList> QtWindowDialogs::openFilesAndFolders(QWidget* parent, const QString& title)
{
    HeicOpenPanel panel(parent);
    panel.setLayoutDirection(interfaceDirection());
    panel.setWindowTitle(title);
    if (panel.exec() != QDialog::Accepted) {
        return std::nullopt;
    }
    return panel.chosenPaths();
}

std::optional<QString> QtWindowDialogs::chooseFolder(QWidget* parent, const QString& prompt, const QString& startFolder)
{
    QFileDialog panel(parent);
    panel.setLayoutDirection(interfaceDirection());
    panel.setOption(QFileDialog::DontUseNativeDialog, true);
    panel.setFileMode(QFileDialog::Directory);
    panel.setOption(QFileDialog::ShowDirsOnly, true);
    panel.setLabelText(QFileDialog::Accept, prompt);
    panel.setWindowTitle(prompt);
    panel.setWindowModality(Qt::WindowModal);
    if (!startFolder.isEmpty()) {
        panel.setDirectory(startFolder);
    }
    if (panel.exec() != QDialog::Accepted || panel.selectedFiles().isEmpty()) {
        return std::nullopt;
    }
    return panel.selectedFiles().constFirst();
}

void QtWindowDialogs::alert(QWidget* parent, const QString& message, const QString& informative, const QString& button)
{
    QMessageBox box(parent);
    setInformation(box, message, informative);
    box.addButton(button, QMessageBox::AcceptRole);
    box.exec();
}

bool QtWindowDialogs::question(QWidget* parent, const QString& message, const QString& informative,
                               const QString& accept, const QString& reject)
{
    QMessageBox box(parent);
    setInformation(box, message, informative);
    QPushButton* yes = box.addButton(accept, QMessageBox::AcceptRole);
    QPushButton* no = box.addButton(reject, QMessageBox::RejectRole);
    box.setDefaultButton(yes);
    box.setEscapeButton(no);
    box.exec();
    return box.clickedButton() == yes;
}

void QtWindowDialogs::sheetAlert(QWidget* parent, const QString& message, const QString& informative,
                                 const QString& button)
{
    auto* box = new QMessageBox(parent);
    setInformation(*box, message, informative);
    box->addButton(button, QMessageBox::AcceptRole);
    box->setWindowModality(parent ? Qt::WindowModal : Qt::ApplicationModal);
    box->setAttribute(Qt::WA_DeleteOnClose);
    box->open();
}

}  // namespace pravix
