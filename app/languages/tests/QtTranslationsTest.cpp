#include "HeicOpenPanel.h"
#include "QtTranslations.h"

#include <QDialogButtonBox>
#include <QLabel>
#include <QLibraryInfo>
#include <QLineEdit>
#include <QMenu>
#include <QPushButton>
#include <QTemporaryDir>
#include <QtTest>

#include <memory>

using namespace pravix;

namespace
{

const char* const kMissing = "Qt's translations are not installed: run ./scripts/install-deps.sh "
                             "(Debian package qt6-translations-l10n)";

QString buttonText(QFileDialog& dialog, QDialogButtonBox::StandardButton which)
{
    auto* buttons = dialog.findChild<QDialogButtonBox*>();
    QPushButton* button = buttons ? buttons->button(which) : nullptr;
    return button ? button->text() : QString();
}

QString lookInText(QFileDialog& dialog)
{
    auto* label = dialog.findChild<QLabel*>(QStringLiteral("lookInLabel"));
    return label ? label->text() : QString();
}

// The texts of a text field's context menu.
QStringList contextMenuTexts()
{
    QLineEdit field;
    std::unique_ptr<QMenu> menu(field.createStandardContextMenu());
    QStringList texts;
    for (QAction* action : menu->actions()) {
        if (!action->isSeparator()) {
            texts << action->text().section(QLatin1Char('\t'), 0, 0);  // without the shortcut
        }
    }
    return texts;
}

}  // namespace

// Qt's own texts follow the interface language, where Qt has a translation.
class QtTranslationsTest : public QObject
{
    Q_OBJECT

private slots:
    void germanFileDialog();
    void dialogsOpenBeforeAChangeFollowIt();
    void withoutQtsTranslationEnglishStays();
    void everyTableFindsItsTranslation_data();
    void everyTableFindsItsTranslation();
    void rightToLeftTranslationLeavesTheApplicationsDirection();
};

void QtTranslationsTest::germanFileDialog()
{
    QtTranslations translations;
    QVERIFY2(translations.apply("de"), kMissing);
    QCOMPARE(translations.localeName(), QString("de"));
    HeicOpenPanel panel;
    QCOMPARE(buttonText(panel, QDialogButtonBox::Open), QString::fromUtf8("&Öffnen"));
    QCOMPARE(buttonText(panel, QDialogButtonBox::Cancel), QString("Abbrechen"));
    QCOMPARE(lookInText(panel), QString("Suchen in:"));
    QVERIFY2(contextMenuTexts().contains(QString("&Kopieren")), qPrintable(contextMenuTexts().join('|')));
}

void QtTranslationsTest::dialogsOpenBeforeAChangeFollowIt()
{
    QtTranslations translations;
    HeicOpenPanel panel;
    panel.show();
    const QString english = buttonText(panel, QDialogButtonBox::Cancel);
    QCOMPARE(english, QString("Cancel"));
    QVERIFY2(translations.apply("fr"), kMissing);
    QTRY_COMPARE(buttonText(panel, QDialogButtonBox::Cancel), QString("Annuler"));
    // Back to English: the translation goes, and with it the French texts.
    QVERIFY(!translations.apply("en"));
    QCOMPARE(translations.localeName(), QString());
    QTRY_COMPARE(buttonText(panel, QDialogButtonBox::Cancel), english);
    HeicOpenPanel later;
    QCOMPARE(buttonText(later, QDialogButtonBox::Cancel), english);
}

void QtTranslationsTest::withoutQtsTranslationEnglishStays()
{
    QtTranslations translations;
    QVERIFY2(translations.apply("de"), kMissing);
    // Indonesian: Qt has none; the German one goes and English shows.
    QVERIFY(!translations.apply("id"));
    QCOMPARE(translations.localeName(), QString());
    HeicOpenPanel panel;
    QCOMPARE(buttonText(panel, QDialogButtonBox::Cancel), QString("Cancel"));

    // An empty folder has no translation at all.
    QTemporaryDir empty;
    QtTranslations nowhere(empty.path());
    QVERIFY(!nowhere.apply("de"));
    HeicOpenPanel still;
    QCOMPARE(buttonText(still, QDialogButtonBox::Cancel), QString("Cancel"));
}

void QtTranslationsTest::everyTableFindsItsTranslation_data()
{
    QTest::addColumn<QString>("table");
    QTest::addColumn<QString>("locale");
    QTest::addColumn<bool>("translated");
    const struct
    {
        const char* table;
        const char* locale;
        bool translated;
    } rows[] = {
        {"en", "", false},     {"cn", "zh_CN", true}, {"tr", "zh_TW", true}, {"jp", "ja", true},
        {"ko", "ko", true},    {"de", "de", true},    {"ru", "ru", true},    {"ar", "ar", true},
        {"pt", "pt_BR", true}, {"es", "es", true},    {"fr", "fr", true},    {"id", "id", false},
        {"it", "it", true},    {"nl", "nl", true},    {"cy", "el", false},   {"cz", "cs", true},
        {"dk", "da", true},    {"hu", "hu", true},    {"md", "ro", false},   {"pl", "pl", true},
        {"se", "sv", true},    {"tk", "tr", true},    {"xx", "", false},
    };
    for (const auto& row : rows) {
        QTest::newRow(row.table) << QString(row.table) << QString(row.locale) << row.translated;
    }
}

void QtTranslationsTest::everyTableFindsItsTranslation()
{
    QFETCH(QString, table);
    QFETCH(QString, locale);
    QFETCH(bool, translated);
    QCOMPARE(QtTranslations::qtLocaleName(table), locale);
    QtTranslations translations;
    QVERIFY2(translations.apply(table) == translated, kMissing);
    QCOMPARE(translations.localeName(), translated ? locale : QString());
    // The text fields' menu is translated in every language Qt has (the older Swedish catalog
    // does not know the file dialog's newer texts).
    QCOMPARE(contextMenuTexts().contains("&Copy"), !translated);
    if (table != "se") {
        HeicOpenPanel panel;
        QCOMPARE(lookInText(panel) != QString("Look in:"), translated);
    }
}

void QtTranslationsTest::rightToLeftTranslationLeavesTheApplicationsDirection()
{
    QtTranslations translations;
    QVERIFY2(translations.apply("ar"), kMissing);
    QCoreApplication::sendPostedEvents();
    QCOMPARE(QGuiApplication::layoutDirection(), Qt::LeftToRight);
    QLineEdit field;
    QCOMPARE(field.layoutDirection(), Qt::LeftToRight);
}

QTEST_MAIN(QtTranslationsTest)
#include "QtTranslationsTest.moc"
