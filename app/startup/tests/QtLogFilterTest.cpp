#include "ConversionListModel.h"
#include "ConversionTableView.h"
#include "QtLogFilter.h"

#include <QAccessible>
#include <QtTest>

#include <vector>

using namespace pravix;

namespace
{

QStringList captured;

void capture(QtMsgType, const QMessageLogContext&, const QString& message)
{
    captured << message;
}

// What a screen reader asks an empty list: its children, also past the last one it was told of (it
// may remember rows since removed), and its cells.
void askTheEmptyList(ConversionTableView& table)
{
    QAccessibleInterface* list = QAccessible::queryAccessibleInterface(&table);
    QVERIFY(list != nullptr);
    QCOMPARE(list->tableInterface()->rowCount(), 0);
    for (int i = 0; i < list->childCount() + 8; ++i) {
        list->child(i);
    }
    QVERIFY(list->tableInterface()->cellAt(0, 0) == nullptr);
    QVERIFY(list->tableInterface()->cellAt(3, 1) == nullptr);
    QVERIFY(list->focusChild() == nullptr);
}

}  // namespace

// Qt's table accessibility warns at each question about a cell that is not there; those lines stay
// out of the log, every other message goes through.
class QtLogFilterTest : public QObject
{
    Q_OBJECT

private slots:
    void screenReaderQuestionsLeaveNoLines();
};

void QtLogFilterTest::screenReaderQuestionsLeaveNoLines()
{
    std::vector<NSPravixData> entries;
    ConversionListModel model(entries);
    ConversionTableView table(&model);
    table.show();
    QVERIFY(QTest::qWaitForWindowExposed(&table));

    const QtMessageHandler testHandler = qInstallMessageHandler(capture);
    askTheEmptyList(table);
    // Unfiltered, the questions do write lines (else there would be nothing to keep out).
    const QStringList unfiltered = captured;
    QVERIFY2(!unfiltered.filter("QAccessibleTable::child: Invalid index").isEmpty(), qPrintable(unfiltered.join('\n')));
    QVERIFY2(!unfiltered.filter("QAccessibleTable::cellAt: invalid index").isEmpty(), qPrintable(unfiltered.join('\n')));
    captured.clear();
    {
        QtLogFilter filter;
        askTheEmptyList(table);
        qWarning("the rest still goes to the log");
        qInfo("so does this");
    }
    qInstallMessageHandler(testHandler);
    QCOMPARE(captured, QStringList({"the rest still goes to the log", "so does this"}));

    QVERIFY(QtLogFilter::isNoise(QtWarningMsg, "QAccessibleTable::child: Invalid index at:  8 0"));
    QVERIFY(!QtLogFilter::isNoise(QtCriticalMsg, "QAccessibleTable::child: Invalid index at:  8 0"));
    QVERIFY(!QtLogFilter::isNoise(QtWarningMsg, "WARNING QAccessibleTable::indexOfChild Fix my children..."));
}

QTEST_MAIN(QtLogFilterTest)
#include "QtLogFilterTest.moc"
