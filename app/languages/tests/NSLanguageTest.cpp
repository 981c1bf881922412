#include "NSLanguage.h"

#include "IsolatedUserFolders.h"

#include <QProcess>
#include <QSettings>
#include <QtTest>

using namespace pravix;

namespace
{

QSettings settings()
{
    return QSettings("Pravix", "Pravix");
}

NSLanguage makeLanguage(bool international, const QStringList& preferred)
{
    return NSLanguage({international, [preferred] { return preferred; }});
}

}  // namespace

class NSLanguageTest : public QObject
{
    Q_OBJECT

private slots:
    void init();
    void systemIdsMapToCodes_data();
    void systemIdsMapToCodes();
    void chineseIdsGainTheirScript_data();
    void chineseIdsGainTheirScript();
    void tableOfEveryCode();
    void directionOfCodes();
    void firstStartFollowsSystem();
    void storedChoiceWinsInInternationalMarket();
    void chineseMarketStartsInChineseEveryTime();
    void hebrewSystemShowsEnglishRightToLeft();
    void setLanguageWritesBothKeys();
    void missingKeysShowTheKey();
    void sharedInstanceFollowsTheRealSystemLocale_data();
    void sharedInstanceFollowsTheRealSystemLocale();
    void childReportsSystemLanguage();

private:
    test::IsolatedUserFolders folders_;
};

void NSLanguageTest::init()
{
    test::IsolatedUserFolders::clearSettings();
}

void NSLanguageTest::systemIdsMapToCodes_data()
{
    QTest::addColumn<QStringList>("preferred");
    QTest::addColumn<int>("code");
    const std::pair<const char*, int> rows[] = {
        {"en-US", 0},      {"pt-BR", 8},      {"zh-Hans-US", 0}, {"zh-Hant", 0},    {"fr-FR", 10},
        {"zh", 1},         {"zh-Hans", 1},    {"zh-Hans-CN", 1}, {"zh-Hant-TW", 12}, {"zh-Hant-HK", 2},
        {"zh-Hant-MO", 2}, {"ja", 3},         {"ja-JP", 3},      {"ko-KR", 4},      {"de-AT", 5},
        {"ru-RU", 6},      {"ar-EG", 7},      {"pt-PT", 8},      {"Portugal", 8},   {"es-419", 9},
        {"id-ID", 11},     {"it-CH", 13},     {"nl-BE", 14},     {"el-GR", 15},     {"cs-CZ", 16},
        {"da-DK", 17},     {"hu-HU", 18},     {"he-IL", 19},     {"ro-MD", 20},     {"pl-PL", 21},
        {"sv-FI", 22},     {"tr-TR", 23},     {"ko-KR-x", 4},    {"ja-Jpan-JP", 0}, {"sr-Latn-RS", 0},
        {"C", 0},          {"", 0},           {"EN", 0},         {"fr-", 10},
    };
    for (const auto& [id, code] : rows) {
        QTest::newRow(id) << QStringList{id, "fr"} << code;
    }
    QTest::newRow("empty list") << QStringList{} << 0;
}

void NSLanguageTest::systemIdsMapToCodes()
{
    QFETCH(QStringList, preferred);
    QFETCH(int, code);
    QCOMPARE(languageCodeForPreferredLanguages(preferred), code);
}

void NSLanguageTest::chineseIdsGainTheirScript_data()
{
    QTest::addColumn<QString>("id");
    QTest::addColumn<QString>("platformId");
    QTest::addColumn<int>("code");
    QTest::newRow("mainland") << "zh-CN" << "zh-Hans-CN" << 1;
    QTest::newRow("taiwan") << "zh-TW" << "zh-Hant-TW" << 12;
    QTest::newRow("hong kong") << "zh-HK" << "zh-Hant-HK" << 2;
    QTest::newRow("macao") << "zh-MO" << "zh-Hant-MO" << 2;
    QTest::newRow("singapore") << "zh-SG" << "zh-Hans-SG" << 0;
    QTest::newRow("bare") << "zh" << "zh" << 1;
    QTest::newRow("script only") << "zh-Hant" << "zh-Hant" << 0;
    QTest::newRow("full") << "zh-Hans-CN" << "zh-Hans-CN" << 1;
    QTest::newRow("english") << "en-US" << "en-US" << 0;
    QTest::newRow("hebrew") << "he-IL" << "he-IL" << 19;
}

void NSLanguageTest::chineseIdsGainTheirScript()
{
    QFETCH(QString, id);
    QFETCH(QString, platformId);
    QFETCH(int, code);
    QCOMPARE(platformLanguageId(id), platformId);
    QCOMPARE(languageCodeForPreferredLanguages({platformLanguageId(id)}), code);
}

void NSLanguageTest::tableOfEveryCode()
{
    const char* tables[] = {"en", "cn", "tr", "jp", "ko", "de", "ru", "ar", "pt", "es", "fr", "id",
                            "tr", "it", "nl", "cy", "cz", "dk", "hu", nullptr, "md", "pl", "se", "tk"};
    for (int code = 0; code < 24; ++code) {
        if (tables[code]) {
            QCOMPARE(stringsTableForCode(code, 10), QString(tables[code]));
        }
    }
    QCOMPARE(stringsTableForCode(19, 0), QString("en"));
    QCOMPARE(stringsTableForCode(19, 19), QString("en"));
    QCOMPARE(stringsTableForCode(kLanguageFollowsSystem, 10), QString("fr"));
    QCOMPARE(stringsTableForCode(kLanguageFollowsSystem, 12), QString("tr"));
    QCOMPARE(stringsTableForCode(kLanguageFollowsSystem, 19), QString("en"));
    QCOMPARE(stringsTableForCode(kLanguageFollowsSystem, 0), QString("en"));
    QCOMPARE(stringsTableForCode(24, 5), QString("de"));
    QCOMPARE(stringsTableForCode(-1, 99), QString("en"));
}

void NSLanguageTest::directionOfCodes()
{
    QCOMPARE(directionForCode(7, 0), 1);
    QCOMPARE(directionForCode(19, 0), 1);
    QCOMPARE(directionForCode(kLanguageFollowsSystem, 7), 1);
    QCOMPARE(directionForCode(kLanguageFollowsSystem, 19), 1);
    QCOMPARE(directionForCode(kLanguageFollowsSystem, 10), 0);
    QCOMPARE(directionForCode(0, 7), 0);
    QCOMPARE(directionForCode(99, 7), 0);
}

void NSLanguageTest::firstStartFollowsSystem()
{
    const NSLanguage language = makeLanguage(true, {"fr-FR", "en-US"});
    QCOMPARE(language.Language(), 10);
    QCOMPARE(language.LanguageStrings(), QString("fr"));
    QCOMPARE(language.Direction(), 0);
    QCOMPARE(settings().value("Language_Key").toString(), QString("10"));
    QCOMPARE(settings().value("AppLanguage").toString(), QString("fr"));
    QCOMPARE(language.text("Cancel"), QString("Annuler"));
}

void NSLanguageTest::storedChoiceWinsInInternationalMarket()
{
    settings().setValue("Language_Key", "12");
    const NSLanguage taiwan = makeLanguage(true, {"fr-FR"});
    QCOMPARE(taiwan.Language(), 12);
    QCOMPARE(taiwan.LanguageStrings(), QString("tr"));
    QCOMPARE(taiwan.text("Cancel"), QString::fromUtf8("取消"));

    settings().setValue("Language_Key", "nonsense");
    QCOMPARE(makeLanguage(true, {"fr-FR"}).Language(), 0);

    settings().setValue("Language_Key", "");
    QCOMPARE(makeLanguage(true, {"de-DE"}).Language(), 5);

    settings().setValue("Language_Key", "10001");
    const NSLanguage system = makeLanguage(true, {"ar-SA"});
    QCOMPARE(system.Language(), kLanguageFollowsSystem);
    QCOMPARE(system.LanguageStrings(), QString("ar"));
    QCOMPARE(system.Direction(), 1);
}

void NSLanguageTest::chineseMarketStartsInChineseEveryTime()
{
    settings().setValue("Language_Key", "10");
    const NSLanguage language = makeLanguage(false, {"fr-FR"});
    QCOMPARE(language.Language(), 1);
    QCOMPARE(settings().value("Language_Key").toString(), QString("1"));
    QCOMPARE(language.LanguageStrings(), QString("cn"));
    QCOMPARE(language.text("OK"), QString::fromUtf8("确定"));
}

void NSLanguageTest::hebrewSystemShowsEnglishRightToLeft()
{
    NSLanguage language = makeLanguage(true, {"he-IL", "en-US"});
    QCOMPARE(language.Language(), 19);
    QCOMPARE(language.LanguageStrings(), QString("en"));
    QCOMPARE(language.Direction(), 1);
    QCOMPARE(language.text("Cancel"), QString("Cancel"));

    language.setLanguage(kLanguageFollowsSystem);
    QCOMPARE(language.LanguageStrings(), QString("en"));
    QCOMPARE(language.Direction(), 1);
    QCOMPARE(settings().value("Language_Key").toString(), QString("10001"));

    language.setLanguage(5);
    QCOMPARE(language.Direction(), 0);
}

void NSLanguageTest::setLanguageWritesBothKeys()
{
    NSLanguage language = makeLanguage(true, {"en-US"});
    QCOMPARE(language.text("Conversion"), QString("Convert"));
    language.setLanguage(5);
    QCOMPARE(language.Language(), 5);
    QCOMPARE(settings().value("Language_Key").toString(), QString("5"));
    QCOMPARE(settings().value("AppLanguage").toString(), QString("de"));
    QCOMPARE(language.text("Conversion"), QString("Konvertieren"));
    language.setLanguage(7);
    QCOMPARE(language.text("Cancel"), QString::fromUtf8("إلغاء"));
    QCOMPARE(language.Direction(), 1);
    // A new instance starts where the choice left off.
    QCOMPARE(makeLanguage(true, {"en-US"}).Language(), 7);
}

void NSLanguageTest::missingKeysShowTheKey()
{
    const NSLanguage language = makeLanguage(true, {"de-DE"});
    QCOMPARE(language.text("NoSuchKey"), QString("NoSuchKey"));
    QCOMPARE(language.text(""), QString(""));
    // The table name is read back from the settings; a lost or foreign one shows every key.
    settings().remove("AppLanguage");
    QCOMPARE(language.LanguageStrings(), QString());
    QCOMPARE(language.text("Cancel"), QString("Cancel"));
    settings().setValue("AppLanguage", "../de");
    QCOMPARE(language.text("Cancel"), QString("Cancel"));
    settings().setValue("AppLanguage", "de");
    QCOMPARE(language.text("Cancel"), QString("Abbrechen"));
}

void NSLanguageTest::sharedInstanceFollowsTheRealSystemLocale_data()
{
    QTest::addColumn<QString>("locale");
    QTest::addColumn<int>("code");
    QTest::addColumn<QString>("table");
    QTest::addColumn<int>("direction");
    QTest::newRow("french") << "fr_FR.UTF-8" << 10 << "fr" << 0;
    QTest::newRow("simplified chinese") << "zh_CN.UTF-8" << 1 << "cn" << 0;
    QTest::newRow("taiwan") << "zh_TW.UTF-8" << 12 << "tr" << 0;
    QTest::newRow("hebrew") << "he_IL.UTF-8" << 19 << "en" << 1;
    QTest::newRow("posix") << "C" << 0 << "en" << 0;
}

// Runs childReportsSystemLanguage in a child process under another system locale: the shared
// instance reads the real system locale once per process.
void NSLanguageTest::sharedInstanceFollowsTheRealSystemLocale()
{
    QFETCH(QString, locale);
    QFETCH(int, code);
    QFETCH(QString, table);
    QFETCH(int, direction);
    QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
    environment.remove("LANGUAGE");
    environment.insert("LC_ALL", locale);
    environment.insert("PRAVIX_EXPECT_LANGUAGE", QString("%1 %2 %3").arg(code).arg(table).arg(direction));
    QProcess child;
    child.setProcessEnvironment(environment);
    child.start(QCoreApplication::applicationFilePath(), {"childReportsSystemLanguage"});
    QVERIFY(child.waitForFinished(60000));
    QVERIFY2(child.exitStatus() == QProcess::NormalExit && child.exitCode() == 0,
             child.readAllStandardOutput().constData());
}

void NSLanguageTest::childReportsSystemLanguage()
{
    const QString expected = qEnvironmentVariable("PRAVIX_EXPECT_LANGUAGE");
    if (expected.isEmpty()) {
        QSKIP("runs only as the child of sharedInstanceFollowsTheRealSystemLocale");
    }
    const QStringList parts = expected.split(' ');
    NSLanguage& language = NSLanguage::shareInstance();
    QCOMPARE(&NSLanguage::shareInstance(), &language);
    QCOMPARE(language.SysLanguage(), parts[0].toInt());
    QCOMPARE(language.Language(), parts[0].toInt());
    QCOMPARE(language.LanguageStrings(), parts[1]);
    QCOMPARE(language.Direction(), parts[2].toInt());
    QCOMPARE(localizedText("NoSuchKey"), QString("NoSuchKey"));
    QVERIFY(localizedText("Cancel") != QString());
}

QTEST_MAIN(NSLanguageTest)
#include "NSLanguageTest.moc"
