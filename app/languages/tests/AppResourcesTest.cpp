#include "AppResources.h"
#include "ClientProfile.h"
#include "PropertyList.h"

#include "IsolatedUserFolders.h"

#include <QDirIterator>
#include <QtTest>

using namespace pravix;

class AppResourcesTest : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void shippedConfigurationIsTheInternationalEdition();
    void everyTableIsBuiltIn();

private:
    test::IsolatedUserFolders folders_;
};

void AppResourcesTest::initTestCase()
{
    initAppResources();
    initAppResources();  // a second call is harmless
}

void AppResourcesTest::shippedConfigurationIsTheInternationalEdition()
{
    QString error;
    const auto values = loadPropertyListTexts(":/Configuration.plist", &error);
    QVERIFY2(error.isEmpty(), qPrintable(error));
    QCOMPARE(values.value("Partner"), QString("0"));
    QCOMPARE(values.value("International"), QString("YES"));

    test::IsolatedUserFolders::clearSettings();
    ClientProfileSources sources;
    sources.sysfsNetRoot = folders_.path() + "/no-net";
    const ClientProfile profile(sources);
    QVERIFY(profile.International());
    QCOMPARE(profile.Partner(), QString("0"));
}

void AppResourcesTest::everyTableIsBuiltIn()
{
    QStringList names;
    QDirIterator it(":/strings", {"*.strings"});
    while (it.hasNext()) {
        names << it.nextFileInfo().completeBaseName();
    }
    names.sort();
    QCOMPARE(names, QStringList({"ar", "cn", "cy", "cz", "de", "dk", "en", "es", "fr", "hu", "id",
                                 "it", "jp", "ko", "md", "nl", "pl", "pt", "ru", "se", "tk", "tr"}));
}

QTEST_MAIN(AppResourcesTest)
#include "AppResourcesTest.moc"
