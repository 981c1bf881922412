#include "ConversionListModel.h"
#include "NSLanguage.h"

#include "CapturedOutput.h"
#include "IsolatedUserFolders.h"
#include "PermissionsEnforced.h"
#include "SpecialFiles.h"

#include <QDir>
#include <QFile>
#include <QSignalSpy>
#include <QtTest>

#include <iostream>
#include <sstream>

using namespace pravix;

namespace
{

using testsupport::CapturedOutput;

void writeFile(const QString& path, int bytes)
{
    QFile file(path);
    QVERIFY(file.open(QIODevice::WriteOnly));
    file.write(QByteArray(bytes, 'x'));
}

}  // namespace

class ConversionListModelTest : public QObject
{
    Q_OBJECT

private slots:
    void init();
    void stateOfEveryEntry_data();
    void stateOfEveryEntry();
    void errorKeyWinsOverProgressText();
    void nameSizeAndTickColumns();
    void headerTitlesFollowTheLanguage();
    void heicPathRule_data();
    void heicPathRule();
    void entryFieldsFromThePath();
    void sizeTextOfRealFiles();
    void duplicatesAreRefusedAndLogged();
    void manyPathsInOneInsertion();
    void tickingThroughTheModel();
    void allSelectedAndEmptyList();
    void removalsKeepTheDuplicateTestInStep();
    void reloadKeepsRowsResetReindexes();
    void rowOfAnEntry();
    void columnIdentifiers();

private:
    test::IsolatedUserFolders folders_;
};

void ConversionListModelTest::init()
{
    NSLanguage::shareInstance().setLanguage(0);
}

void ConversionListModelTest::stateOfEveryEntry_data()
{
    QTest::addColumn<int>("language");
    QTest::addColumn<QString>("toTitle");
    QTest::addColumn<QString>("toErrInfo");
    QTest::addColumn<QString>("toPath");
    QTest::addColumn<QString>("text");
    QTest::addColumn<QString>("icon");
    QTest::addColumn<bool>("preview");
    QTest::newRow("waiting") << 0 << "" << "" << "" << "" << "NoTo" << false;
    QTest::newRow("converting with dots") << 0 << "Converting..." << "" << "" << "Converting..." << "" << false;
    QTest::newRow("converted") << 0 << "" << "" << "/out/a.jpg" << "" << "ToComplete" << true;
    QTest::newRow("folder missing") << 0 << "" << "FileNotThereTitle" << "" << "Output folder not found" << ""
                                    << false;
    QTest::newRow("read-only") << 0 << "" << "FolderReadOnly" << "" << "Output folder is read-only" << "" << false;
    QTest::newRow("failed") << 0 << "" << "ConversionFailure" << "" << "Conversion failed" << "" << false;
    QTest::newRow("failed, Arabic") << 7 << "" << "ConversionFailure" << "" << "فشل التحويل" << "" << false;
    QTest::newRow("read-only, German") << 5 << "" << "FolderReadOnly" << "" << "" << "" << false;
    QTest::newRow("unknown key shows itself") << 0 << "" << "SomethingElse" << "" << "SomethingElse" << "" << false;
}

void ConversionListModelTest::stateOfEveryEntry()
{
    QFETCH(int, language);
    QFETCH(QString, toTitle);
    QFETCH(QString, toErrInfo);
    QFETCH(QString, toPath);
    QFETCH(QString, text);
    QFETCH(QString, icon);
    QFETCH(bool, preview);
    NSLanguage::shareInstance().setLanguage(language);
    std::vector<NSPravixData> list(1);
    list[0].HeicPath = "/p/a.heic";
    list[0].ToTitle = toTitle.toStdString();
    list[0].ToErrInfo = toErrInfo.toStdString();
    list[0].ToPath = toPath.toStdString();
    ConversionListModel model(list);
    const QModelIndex state = model.index(0, StateColumn);
    QString expected = text;
    if (language == 5) {
        // Whatever German says, it is the table's text, not the key or the English one.
        expected = localizedText(toErrInfo);
        QVERIFY(expected != toErrInfo && expected != "Output folder is read-only");
    }
    QCOMPARE(state.data(ConversionListModel::StateTextRole).toString(), expected);
    QCOMPARE(state.data(Qt::DisplayRole).toString(), expected);
    QCOMPARE(state.data(Qt::ToolTipRole).toString(), expected);
    QCOMPARE(state.data(ConversionListModel::StateIconRole).toString(), icon);
    QCOMPARE(model.index(0, PreviewColumn).data(ConversionListModel::PreviewVisibleRole).toBool(), preview);
    QCOMPARE(model.index(0, NameColumn).data(ConversionListModel::ToPathRole).toString(), toPath);
    // A screen reader hears a state for the icon rows too.
    QVERIFY(!state.data(Qt::AccessibleTextRole).toString().isEmpty());
}

void ConversionListModelTest::errorKeyWinsOverProgressText()
{
    std::vector<NSPravixData> list(1);
    list[0].ToTitle = "Converting.";
    list[0].ToErrInfo = "ConversionFailure";
    list[0].ToPath = "/out/a.jpg";
    ConversionListModel model(list);
    QCOMPARE(model.index(0, StateColumn).data().toString(), QString("Conversion failed"));
    QVERIFY(model.index(0, StateColumn).data(ConversionListModel::StateIconRole).toString().isEmpty());
    list[0].ToErrInfo.clear();
    QCOMPARE(model.index(0, StateColumn).data().toString(), QString("Converting."));
    list[0].ToTitle.clear();
    QCOMPARE(model.index(0, StateColumn).data(ConversionListModel::StateIconRole).toString(), QString("ToComplete"));
}

void ConversionListModelTest::nameSizeAndTickColumns()
{
    std::vector<NSPravixData> list(1);
    list[0].HeicPath = "/photos/2024/IMG_0001.HEIC";
    list[0].HeicFileSize = "2.50 MB";
    list[0].isSelect = false;
    ConversionListModel model(list);
    QCOMPARE(model.rowCount(), 1);
    QCOMPARE(model.columnCount(), int(ListColumnCount));
    QCOMPARE(model.index(0, NameColumn).data().toString(), QString("IMG_0001.HEIC"));
    QCOMPARE(model.index(0, NameColumn).data(Qt::ToolTipRole).toString(), QString("IMG_0001.HEIC"));
    QCOMPARE(model.index(0, SizeColumn).data().toString(), QString("2.50 MB"));
    QCOMPARE(model.index(0, SelectColumn).data(Qt::CheckStateRole).toInt(), int(Qt::Unchecked));
    QCOMPARE(model.index(0, SelectColumn).data(Qt::AccessibleTextRole).toString(), QString("IMG_0001.HEIC"));
    QCOMPARE(model.index(0, DeleteColumn).data(Qt::AccessibleTextRole).toString(), QString("Delete"));
    QCOMPARE(model.index(0, StateColumn).data(ConversionListModel::HeicPathRole).toString(),
             QString("/photos/2024/IMG_0001.HEIC"));
    QVERIFY(!model.index(1, NameColumn).isValid());
    list[0].HeicFileSize.clear();
    QCOMPARE(model.index(0, SizeColumn).data().toString(), QString("byte"));
    QVERIFY(!model.index(0, NameColumn).data(Qt::CheckStateRole).isValid());
}

void ConversionListModelTest::headerTitlesFollowTheLanguage()
{
    std::vector<NSPravixData> list;
    ConversionListModel model(list);
    QCOMPARE(model.headerData(NameColumn, Qt::Horizontal).toString(), QString("File Name"));
    QCOMPARE(model.headerData(DeleteColumn, Qt::Horizontal).toString(), QString("Delete"));
    QVERIFY(model.headerData(SelectColumn, Qt::Horizontal).toString().isEmpty());
    QCOMPARE(model.headerData(SelectColumn, Qt::Horizontal, Qt::AccessibleTextRole).toString(), QString("Select All"));
    NSLanguage::shareInstance().setLanguage(7);
    QCOMPARE(model.headerData(StateColumn, Qt::Horizontal).toString(), QString("الحالة"));
}

void ConversionListModelTest::heicPathRule_data()
{
    QTest::addColumn<QString>("path");
    QTest::addColumn<bool>("qualifies");
    QTest::newRow("upper") << "/a/IMG_0001.HEIC" << true;
    QTest::newRow("lower") << "/a/IMG_0001.heic" << true;
    QTest::newRow("mixed") << "/a/photo.HeIc" << true;
    QTest::newRow("two dots") << "/a/a.b.heic" << true;
    QTest::newRow("no dot") << "/a/heic" << false;
    QTest::newRow("other last part") << "/a/IMG.heic.jpg" << false;
    QTest::newRow("folder") << "/a/Pictures" << false;
    QTest::newRow("dot in folder only") << "/a.heic/photo" << false;
    QTest::newRow("trailing slash") << "/a/b.heic/" << false;
}

void ConversionListModelTest::heicPathRule()
{
    QFETCH(QString, path);
    QFETCH(bool, qualifies);
    QCOMPARE(isHeicPath(path), qualifies);
    std::vector<NSPravixData> list;
    ConversionListModel model(list);
    QCOMPARE(model.AddHeicPath(path) == ConversionListModel::AddResult::Added, qualifies);
    QCOMPARE(list.size(), size_t(qualifies ? 1 : 0));
}

void ConversionListModelTest::entryFieldsFromThePath()
{
    const NSPravixData entry = makeListEntry("/x/a.b.heic");
    QCOMPARE(entry.FileName, std::string("a"));
    QCOMPARE(entry.OriginalFilePath, std::string("/x"));
    QCOMPARE(entry.HeicPath, std::string("/x/a.b.heic"));
    QVERIFY(entry.isSelect);
    QVERIFY(entry.ToPath.empty() && entry.ToTitle.empty() && entry.ToErrInfo.empty());
    QCOMPARE(makeListEntry("/root.heic").OriginalFilePath, std::string("/"));
}

void ConversionListModelTest::sizeTextOfRealFiles()
{
    const QString folder = folders_.path() + "/sizes";
    QVERIFY(QDir().mkpath(folder));
    writeFile(folder + "/small.heic", 1000);
    writeFile(folder + "/kilo.heic", 1001);
    QVERIFY(QDir().mkpath(folder + "/dir.heic"));
    QCOMPARE(makeListEntry(folder + "/small.heic").HeicFileSize, std::string("1000.00 byte"));
    QCOMPARE(makeListEntry(folder + "/kilo.heic").HeicFileSize, std::string("1.00 KB"));
    QCOMPARE(makeListEntry(folder + "/missing.heic").HeicFileSize, std::string("0.00 byte"));
    QCOMPARE(makeListEntry(folder + "/dir.heic").HeicFileSize, std::string("0.00 byte"));
    // Special files are not opened, let alone read: they count as unreadable.
    QVERIFY(testsupport::makeFifo(QFile::encodeName(folder + "/fifo.heic").toStdString()));
    QVERIFY(QFile::link("/dev/zero", folder + "/device.heic"));
    QCOMPARE(makeListEntry(folder + "/fifo.heic").HeicFileSize, std::string("0.00 byte"));
    QCOMPARE(makeListEntry(folder + "/device.heic").HeicFileSize, std::string("0.00 byte"));
    writeFile(folder + "/locked.heic", 5000);
    QFile::setPermissions(folder + "/locked.heic", QFileDevice::WriteOwner);
    const testsupport::PermissionsEnforced enforced;  // root reads everything otherwise
    if (enforced.active()) {
        QCOMPARE(makeListEntry(folder + "/locked.heic").HeicFileSize, std::string("0.00 byte"));
    }
}

void ConversionListModelTest::duplicatesAreRefusedAndLogged()
{
    std::vector<NSPravixData> list;
    ConversionListModel model(list);
    CapturedOutput output;
    QCOMPARE(model.AddHeicPath("/a/IMG_1.heic"), ConversionListModel::AddResult::Added);
    QCOMPARE(model.AddHeicPath("/a/IMG_1.heic"), ConversionListModel::AddResult::Duplicate);
    QCOMPARE(model.AddHeicPath("/a/IMG_1.jpg"), ConversionListModel::AddResult::NotHeic);
    // The same name in another case is another path.
    QCOMPARE(model.AddHeicPath("/a/IMG_1.HEIC"), ConversionListModel::AddResult::Added);
    QCOMPARE(list.size(), size_t(2));
    QCOMPARE(output.text(), std::string("找到重复：/a/IMG_1.heic\n"));
}

void ConversionListModelTest::manyPathsInOneInsertion()
{
    std::vector<NSPravixData> list;
    ConversionListModel model(list);
    model.AddHeicPath("/a/0.heic");
    QSignalSpy inserted(&model, &QAbstractItemModel::rowsInserted);
    CapturedOutput output;
    const int added = model.AddHeicPaths({"/a/1.heic", "/a/0.heic", "/a/2.HEIC", "/a/1.heic", "/a/notes.txt", "/a/3.heic"});
    QCOMPARE(added, 3);
    QCOMPARE(inserted.count(), 1);
    QCOMPARE(inserted.first().at(1).toInt(), 1);
    QCOMPARE(inserted.first().at(2).toInt(), 3);
    QCOMPARE(list.size(), size_t(4));
    QCOMPARE(list[3].HeicPath, std::string("/a/3.heic"));
    QCOMPARE(output.text(), std::string("找到重复：/a/0.heic\n找到重复：/a/1.heic\n"));
    QCOMPARE(model.AddHeicPaths({"/a/1.heic"}), 0);
    QCOMPARE(inserted.count(), 1);
}

void ConversionListModelTest::tickingThroughTheModel()
{
    std::vector<NSPravixData> list(2);
    ConversionListModel model(list);
    QVERIFY(model.flags(model.index(0, SelectColumn)) & Qt::ItemIsUserCheckable);
    QVERIFY(!(model.flags(model.index(0, NameColumn)) & Qt::ItemIsUserCheckable));
    QSignalSpy changed(&model, &QAbstractItemModel::dataChanged);
    QVERIFY(model.setData(model.index(1, SelectColumn), Qt::Unchecked, Qt::CheckStateRole));
    QVERIFY(!list[1].isSelect);
    QVERIFY(list[0].isSelect);
    QCOMPARE(changed.count(), 1);
    QVERIFY(!model.setData(model.index(1, NameColumn), Qt::Checked, Qt::CheckStateRole));
    QVERIFY(!model.setData(model.index(1, SelectColumn), Qt::Checked, Qt::DisplayRole));
    QVERIFY(!list[1].isSelect);
}

void ConversionListModelTest::allSelectedAndEmptyList()
{
    std::vector<NSPravixData> list;
    ConversionListModel model(list);
    QVERIFY(model.allSelected());
    list.resize(3);
    model.resetList();
    QVERIFY(model.allSelected());
    list[1].isSelect = false;
    QVERIFY(!model.allSelected());
    model.setAllSelected(true);
    QVERIFY(model.allSelected());
    model.setAllSelected(false);
    for (const NSPravixData& entry : list) {
        QVERIFY(!entry.isSelect);
    }
}

void ConversionListModelTest::removalsKeepTheDuplicateTestInStep()
{
    std::vector<NSPravixData> list;
    ConversionListModel model(list);
    model.AddHeicPaths({"/a/1.heic", "/a/2.heic", "/a/3.heic", "/a/4.heic"});
    list[1].isSelect = false;
    list[3].isSelect = false;
    QCOMPARE(model.removeSelected(), 2);
    QCOMPARE(list.size(), size_t(2));
    QCOMPARE(list[0].HeicPath, std::string("/a/2.heic"));
    QVERIFY(!model.containsHeicPath("/a/1.heic"));
    QCOMPARE(model.AddHeicPath("/a/1.heic"), ConversionListModel::AddResult::Added);
    model.removeEntryAt(0);
    QCOMPARE(list[0].HeicPath, std::string("/a/4.heic"));
    QCOMPARE(model.AddHeicPath("/a/2.heic"), ConversionListModel::AddResult::Added);
    model.removeEntryAt(99);  // no such row: nothing
    QCOMPARE(model.rowCount(), 3);
    model.removeAll();
    QCOMPARE(model.rowCount(), 0);
    QCOMPARE(model.AddHeicPath("/a/4.heic"), ConversionListModel::AddResult::Added);
}

void ConversionListModelTest::reloadKeepsRowsResetReindexes()
{
    std::vector<NSPravixData> list;
    ConversionListModel model(list);
    model.AddHeicPaths({"/a/1.heic", "/a/2.heic"});
    QSignalSpy reset(&model, &QAbstractItemModel::modelReset);
    QSignalSpy changed(&model, &QAbstractItemModel::dataChanged);
    list[1].ToTitle = "Converting.";
    model.reloadData();
    QCOMPARE(reset.count(), 0);
    QCOMPARE(changed.count(), 1);
    QCOMPARE(changed.first().at(1).value<QModelIndex>().row(), 1);
    // The window changed the vector itself: after resetList the duplicate test knows.
    list.push_back(makeListEntry("/b/9.heic"));
    list.erase(list.begin());
    model.resetList();
    QCOMPARE(reset.count(), 1);
    QVERIFY(model.containsHeicPath("/b/9.heic"));
    QVERIFY(!model.containsHeicPath("/a/1.heic"));
}

void ConversionListModelTest::rowOfAnEntry()
{
    std::vector<NSPravixData> list(3);
    ConversionListModel model(list);
    QCOMPARE(model.rowOf(list[2]), 2);
    NSPravixData other;
    QCOMPARE(model.rowOf(other), -1);
    QCOMPARE(model.entryAt(1), &list[1]);
    QVERIFY(model.entryAt(3) == nullptr);
    QVERIFY(model.entryAt(-1) == nullptr);
    QCOMPARE(model.rowOfEntryId(list[1].entryId), 1);
    QCOMPARE(model.rowOfEntryId(other.entryId), -1);
    // Entries made by the add function get ids of their own.
    model.AddHeicPath("/a/new.heic");
    QCOMPARE(model.rowOfEntryId(list.back().entryId), 3);
    QVERIFY(list.back().entryId != list[2].entryId);
}

void ConversionListModelTest::columnIdentifiers()
{
    const QStringList expected = {"select", "name", "size", "state", "prview", "delete"};
    for (int column = 0; column < ListColumnCount; ++column) {
        QCOMPARE(columnIdentifier(column), expected[column]);
    }
    QVERIFY(columnIdentifier(ListColumnCount).isEmpty());
}

QTEST_MAIN(ConversionListModelTest)
#include "ConversionListModelTest.moc"
