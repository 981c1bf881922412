#include "HeicOpenPanel.h"
#include "QtWindowDialogs.h"

#include "IsolatedUserFolders.h"

#include <QAbstractItemView>
#include <QDialogButtonBox>
#include <QFileSystemModel>
#include <QLabel>
#include <QMessageBox>
#include <QPushButton>
#include <QSortFilterProxyModel>
#include <QTimer>
#include <QtTest>

using namespace pravix;

namespace
{

void touch(const QString& path)
{
    QFile file(path);
    QVERIFY(file.open(QIODevice::WriteOnly));
}

// The names the panel's list shows for its current folder.
QStringList shownNames(HeicOpenPanel& panel)
{
    auto* view = panel.findChild<QAbstractItemView*>(QStringLiteral("listView"));
    QStringList names;
    if (view == nullptr || view->model() == nullptr) {
        return names;
    }
    const QModelIndex root = view->rootIndex();
    for (int row = 0; row < view->model()->rowCount(root); ++row) {
        names << view->model()->index(row, 0, root).data().toString();
    }
    names.sort();
    return names;
}

// Answers the next modal message box by clicking its button titled `title`.
void clickWhenShown(const QString& title, QStringList* seen)
{
    QTimer::singleShot(0, [title, seen] {
        auto* box = qobject_cast<QMessageBox*>(QApplication::activeModalWidget());
        if (box == nullptr) {
            clickWhenShown(title, seen);
            return;
        }
        *seen << box->text() + "|" + box->informativeText();
        for (QAbstractButton* button : box->buttons()) {
            if (button->text() == title) {
                button->click();
                return;
            }
        }
    });
}

}  // namespace

// The Qt side of the window's dialogs: the files-and-folders panel and the message boxes.
class WindowDialogsTest : public QObject
{
    Q_OBJECT

private slots:
    void panelOffersHeicInAnyCaseAndFolders();
    void panelAcceptsFoldersAndFilesTogether();
    void alertAndQuestionRunModally();
    void sheetIsWindowModalAndReturnsAtOnce();

private:
    test::IsolatedUserFolders folders_;
};

void WindowDialogsTest::panelOffersHeicInAnyCaseAndFolders()
{
    QTemporaryDir dir;
    QDir(dir.path()).mkdir("Album");
    for (const char* name : {"a.heic", "b.HEIC", "c.HeIc", "d.jpg", "heic"}) {
        touch(dir.path() + "/" + name);
    }
    HeicOpenPanel panel;
    panel.setDirectory(dir.path());
    QTRY_COMPARE(shownNames(panel), QStringList({"Album", "a.heic", "b.HEIC", "c.HeIc"}));
    QCOMPARE(panel.fileMode(), QFileDialog::ExistingFiles);
    QVERIFY(panel.testOption(QFileDialog::DontUseNativeDialog));
    auto* view = panel.findChild<QAbstractItemView*>(QStringLiteral("listView"));
    QCOMPARE(view->selectionMode(), QAbstractItemView::ExtendedSelection);
}

void WindowDialogsTest::panelAcceptsFoldersAndFilesTogether()
{
    QTemporaryDir dir;
    QDir(dir.path()).mkdir("Album");
    touch(dir.path() + "/a.heic");
    HeicOpenPanel panel;
    panel.setDirectory(dir.path());
    QTRY_COMPARE(shownNames(panel).size(), 2);
    QSignalSpy finished(&panel, &QDialog::finished);
    panel.open();
    auto* view = panel.findChild<QAbstractItemView*>(QStringLiteral("listView"));
    const QModelIndex root = view->rootIndex();
    for (int row = 0; row < view->model()->rowCount(root); ++row) {
        view->selectionModel()->select(view->model()->index(row, 0, root), QItemSelectionModel::Select | QItemSelectionModel::Rows);
    }
    auto* buttons = panel.findChild<QDialogButtonBox*>();
    QVERIFY(buttons != nullptr);
    QPushButton* open = buttons->button(QDialogButtonBox::Open);
    QVERIFY(open != nullptr && open->isEnabled());
    open->click();
    // The folder is taken as chosen, not opened.
    QCOMPARE(finished.count(), 1);
    QCOMPARE(finished.first().first().toInt(), int(QDialog::Accepted));
    QStringList chosen = panel.chosenPaths();
    chosen.sort();
    QCOMPARE(chosen, QStringList({dir.path() + "/Album", dir.path() + "/a.heic"}));
}

void WindowDialogsTest::alertAndQuestionRunModally()
{
    QWidget window;
    window.show();
    QtWindowDialogs dialogs;
    QStringList seen;
    clickWhenShown("OK", &seen);
    dialogs.alert(&window, "Notice", "Something happened.", "OK");
    QCOMPARE(seen, QStringList{"Notice|Something happened."});

    clickWhenShown("Remove All", &seen);
    QVERIFY(dialogs.question(&window, "Notice", "Remove?", "Remove All", "Cancel"));
    clickWhenShown("Cancel", &seen);
    QVERIFY(!dialogs.question(&window, "Notice", "Remove?", "Remove All", "Cancel"));
    QCOMPARE(seen.size(), 3);
    // Texts are shown as they are, never as markup.
    clickWhenShown("OK", &seen);
    dialogs.alert(&window, "<b>Notice</b>", "a < b", "OK");
    QCOMPARE(seen.last(), QString("<b>Notice</b>|a < b"));
}

void WindowDialogsTest::sheetIsWindowModalAndReturnsAtOnce()
{
    QWidget window;
    window.show();
    QVERIFY(QTest::qWaitForWindowExposed(&window));
    QtWindowDialogs dialogs;
    dialogs.sheetAlert(&window, "Notice", "Conversion finished. Files converted successfully: 3", "OK");
    auto* sheet = window.findChild<QMessageBox*>();
    QVERIFY(sheet != nullptr);
    QVERIFY(sheet->isVisible());
    QCOMPARE(sheet->windowModality(), Qt::WindowModal);
    QCOMPARE(sheet->informativeText(), QString("Conversion finished. Files converted successfully: 3"));
    QCOMPARE(sheet->buttons().size(), 1);
    QPointer<QMessageBox> gone(sheet);
    sheet->buttons().first()->click();
    QTRY_VERIFY(gone.isNull());
}

QTEST_MAIN(WindowDialogsTest)
#include "WindowDialogsTest.moc"
