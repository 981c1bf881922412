#include "StringsTable.h"
#include "TextPlaceholder.h"

#include "IsolatedUserFolders.h"

#include <QRegularExpression>
#include <QtTest>

using namespace pravix;

namespace
{

const QStringList kTableNames = {"en", "cn", "tr", "jp", "ko", "de", "ru", "ar", "pt", "es", "fr",
                                 "id", "it", "nl", "cy", "cz", "dk", "hu", "md", "pl", "se", "tk"};

// Every key the windows, menus and the batch look up.
const QStringList kKeys = {
    // conversion
    "Stop", "Stoping", "Conversion", "Prompt", "OK", "SelectHeicFileTitle", "ConversionSuccessful", "conver",
    "FileNotThereTitle", "FolderReadOnly", "ConversionFailure",
    // menus
    "SystemLanguage", "Language", "About", "CheckUpdateApp", "Service", "OutApp", "Help", "OpenLogFolder",
    // main window
    "SaveExif", "OutputPath", "AddHeicFileBt", "AddFile", "SourceFilePath", "CustomOutputPath", "OpenPath",
    "OutputFormat", "ImageSize", "JPGEQuality", "FileName", "FileSize", "FileState", "Preview", "AllDelete", "Select",
    // list
    "RemoveAll", "Cancel", "isRemoveAllTitle", "HeicFileToing",
    // window frame and list, for screen readers
    "SelectAll", "Minimize", "Zoom", "Converted", "NotConverted", "ConversionList",
    // about
    "Website", "AppVersion", "Copyright",
    // preview
    QString::fromUtf8("数据加载中..."), QString::fromUtf8("未找到，图片文件"),
    // update check
    "UpdateApp", "Cloes", "NewVersionTitle", "CurrNewVersionTitle", QString::fromUtf8("您的网络无法访问，请检查网络！"),
    "NoUpdateServer",
};

}  // namespace

class StringsTableTest : public QObject
{
    Q_OBJECT

private slots:
    void parsesEntriesCommentsAndEscapes();
    void refusesDamagedTables_data();
    void refusesDamagedTables();
    void resourcePathOnlyForTableNames();
    void unknownTableIsEmpty();
    void everyTableHoldsEveryKey_data();
    void everyTableHoldsEveryKey();
    void tablesAreTranslations();
    void successTextTakesTheCountSafely_data();
    void successTextTakesTheCountSafely();
    void placeholderIsFilledAsPlainText();

private:
    test::IsolatedUserFolders folders_;
};

void StringsTableTest::parsesEntriesCommentsAndEscapes()
{
    const QByteArray bytes = "\xEF\xBB\xBF/* header */\n"
                             "\"Stop\" = \"Stopp\";  // trailing comment\n"
                             "\"Quote\"=\"say \\\"hi\\\"\\n\\\\ \\u00e9\";\n"
                             "/* multi\n line */ \"\xE6\x95\xB0\" = \"\xE2\x80\xA6\" ;\n";
    QString error;
    const std::optional<StringsTable> table = StringsTable::parse(bytes, &error);
    QVERIFY2(table.has_value(), qPrintable(error));
    QCOMPARE(table->size(), 3);
    QCOMPARE(table->value("Stop"), QString("Stopp"));
    QCOMPARE(table->value("Quote"), QString::fromUtf8("say \"hi\"\n\\ \xC3\xA9"));
    QCOMPARE(table->value(QString::fromUtf8("\xE6\x95\xB0")), QString::fromUtf8("\xE2\x80\xA6"));
    QVERIFY(!table->contains("stop"));
    QVERIFY(StringsTable::parse("")->size() == 0);
    QVERIFY(StringsTable::parse("  /* only a comment */ // and another")->size() == 0);
}

void StringsTableTest::refusesDamagedTables_data()
{
    QTest::addColumn<QByteArray>("bytes");
    QTest::newRow("missing semicolon") << QByteArray("\"a\" = \"b\"\n\"c\" = \"d\";");
    QTest::newRow("missing equals") << QByteArray("\"a\" \"b\";");
    QTest::newRow("unterminated text") << QByteArray("\"a\" = \"b;");
    QTest::newRow("unterminated comment") << QByteArray("\"a\" = \"b\"; /* open");
    QTest::newRow("unquoted key") << QByteArray("a = \"b\";");
    QTest::newRow("unknown escape") << QByteArray("\"a\" = \"\\q\";");
    QTest::newRow("short unicode escape") << QByteArray("\"a\" = \"\\u12\";");
    QTest::newRow("nul escape") << QByteArray("\"a\" = \"\\u0000\";");
    QTest::newRow("empty key") << QByteArray("\"\" = \"b\";");
    QTest::newRow("repeated key") << QByteArray("\"a\" = \"b\";\n\"a\" = \"c\";");
    QTest::newRow("invalid utf-8") << QByteArray("\"a\" = \"\xC3\x28\";");
    QTest::newRow("trailing backslash") << QByteArray("\"a\" = \"b\\");
}

void StringsTableTest::refusesDamagedTables()
{
    QFETCH(QByteArray, bytes);
    QString error;
    QVERIFY(!StringsTable::parse(bytes, &error).has_value());
    QVERIFY(!error.isEmpty());
}

void StringsTableTest::resourcePathOnlyForTableNames()
{
    QCOMPARE(StringsTable::resourcePath("fr"), QString(":/strings/fr.strings"));
    QVERIFY(StringsTable::resourcePath("").isEmpty());
    QVERIFY(StringsTable::resourcePath("../en").isEmpty());
    QVERIFY(StringsTable::resourcePath("EN").isEmpty());
    QVERIFY(StringsTable::resourcePath("(null)").isEmpty());
}

void StringsTableTest::unknownTableIsEmpty()
{
    QCOMPARE(StringsTable::load("he").size(), 0);
    QCOMPARE(StringsTable::load("/etc/passwd").size(), 0);
}

void StringsTableTest::everyTableHoldsEveryKey_data()
{
    QTest::addColumn<QString>("name");
    for (const QString& name : kTableNames) {
        QTest::newRow(qPrintable(name)) << name;
    }
}

void StringsTableTest::everyTableHoldsEveryKey()
{
    QFETCH(QString, name);
    QCOMPARE(kKeys.size(), 56);
    const StringsTable table = StringsTable::load(name);
    for (const QString& key : kKeys) {
        QVERIFY2(table.contains(key), qPrintable(name + ": " + key));
        QVERIFY2(!table.value(key).trimmed().isEmpty(), qPrintable(name + ": " + key));
        // No text may look like a printf or Objective-C format.
        QVERIFY2(!table.value(key).contains(QRegularExpression("%[-+ #0-9.]*[@a-zA-Z%]")),
                 qPrintable(name + ": " + key));
    }
    QCOMPARE(table.size(), kKeys.size());
}

void StringsTableTest::tablesAreTranslations()
{
    const StringsTable english = StringsTable::load("en");
    for (const QString& name : kTableNames) {
        if (name == "en") {
            continue;
        }
        const StringsTable table = StringsTable::load(name);
        int sameAsEnglish = 0;
        for (const QString& key : kKeys) {
            sameAsEnglish += table.value(key) == english.value(key) ? 1 : 0;
        }
        // A few words are the same in many languages ("OK", "Status", "Version"); no more.
        QVERIFY2(sameAsEnglish <= 5, qPrintable(QString("%1: %2 texts as in English").arg(name).arg(sameAsEnglish)));
    }
    // The two Chinese tables are written in their own scripts.
    QVERIFY(StringsTable::load("cn").value("Language") != StringsTable::load("tr").value("Language"));
}

void StringsTableTest::successTextTakesTheCountSafely_data()
{
    everyTableHoldsEveryKey_data();
}

void StringsTableTest::successTextTakesTheCountSafely()
{
    QFETCH(QString, name);
    const QString text = StringsTable::load(name).value("ConversionSuccessful");
    QCOMPARE(placeholderCount(text, u"count"), qsizetype(1));
    QCOMPARE(text.count(QLatin1Char('{')), qsizetype(1));
    QCOMPARE(text.count(QLatin1Char('}')), qsizetype(1));
    const QString filled = fillPlaceholder(text, u"count", QString::number(4294967295u));
    QVERIFY(filled.contains("4294967295"));
    QVERIFY(!filled.contains("{count}"));
}

void StringsTableTest::placeholderIsFilledAsPlainText()
{
    QCOMPARE(fillPlaceholder("Converted: {count}", u"count", "3"), QString("Converted: 3"));
    QCOMPARE(fillPlaceholder("{count} of {count}", u"count", "2"), QString("2 of 2"));
    QCOMPARE(fillPlaceholder("no number here", u"count", "2"), QString("no number here"));
    // A value is never read again: braces and format signs in it stay as they are.
    QCOMPARE(fillPlaceholder("{count} done", u"count", "{count}%s%n"), QString("{count}%s%n done"));
    QCOMPARE(fillPlaceholder("100% {count}", u"count", "7"), QString("100% 7"));
    QCOMPARE(placeholderCount("{count}{count}", u"count"), qsizetype(2));
    QCOMPARE(placeholderCount("{Count}", u"count"), qsizetype(0));
}

QTEST_MAIN(StringsTableTest)
#include "StringsTableTest.moc"
