#include "PropertyList.h"

#include <QFile>
#include <QTemporaryDir>

#include <gtest/gtest.h>

namespace pravix
{
namespace
{

QByteArray plist(const QByteArray& dictBody)
{
    return "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n"
           "<!DOCTYPE plist PUBLIC \"-//Apple//DTD PLIST 1.0//EN\" "
           "\"http://www.apple.com/DTDs/PropertyList-1.0.dtd\">\n"
           "<plist version=\"1.0\"><dict>" +
           dictBody + "</dict></plist>\n";
}

TEST(PropertyList, ReadsScalarValuesOfTheRootDictionary)
{
    QString error;
    const auto values = readPropertyListTexts(
        plist("<key>Partner</key><string>abc &amp; co</string>"
              "<key>International</key><string>NO</string>"
              "<key>Count</key><integer>12</integer>"
              "<key>On</key><true/><key>Off</key><false/>"
              "<key>Empty</key><string/>"),
        &error);
    EXPECT_TRUE(error.isEmpty()) << error.toStdString();
    EXPECT_EQ(values.value("Partner"), "abc & co");
    EXPECT_EQ(values.value("International"), "NO");
    EXPECT_EQ(values.value("Count"), "12");
    EXPECT_EQ(values.value("On"), "true");
    EXPECT_EQ(values.value("Off"), "false");
    EXPECT_TRUE(values.contains("Empty"));
    EXPECT_EQ(values.size(), 6);
}

TEST(PropertyList, PassesOverNestedContainers)
{
    const auto values = readPropertyListTexts(
        plist("<key>Nested</key><dict><key>Partner</key><string>inner</string></dict>"
              "<key>List</key><array><string>x</string></array>"
              "<key>Partner</key><string>outer</string>"));
    EXPECT_EQ(values.value("Partner"), "outer");
    EXPECT_FALSE(values.contains("Nested"));
    EXPECT_FALSE(values.contains("List"));
}

TEST(PropertyList, RefusesWhatIsNotADictionaryList)
{
    const QByteArray cases[] = {
        "",
        "bplist00\x01\x02",
        "<plist><array><string>x</string></array></plist>",
        "<html><dict><key>Partner</key><string>x</string></dict></html>",
        "<plist><dict><key>Partner</key><string>x</string>",           // truncated
        "<plist><dict><key>Partner</key><key>B</key></dict></plist>",  // key without value
        "<plist><dict><string>x</string></dict></plist>",              // value without key
        "<plist><dict><key>Partner</key></dict></plist>",
        "<plist><dict><key>A<b/></key><string>x</string></dict></plist>",
    };
    for (const QByteArray& xml : cases) {
        QString error;
        EXPECT_TRUE(readPropertyListTexts(xml, &error).isEmpty()) << xml.constData();
        EXPECT_FALSE(error.isEmpty()) << xml.constData();
    }
}

TEST(PropertyList, EntityExpansionBombIsRefused)
{
    QByteArray xml = "<?xml version=\"1.0\"?>\n<!DOCTYPE plist [\n<!ENTITY a0 \"xxxxxxxxxx\">\n";
    for (int i = 1; i < 10; ++i) {
        xml += "<!ENTITY a" + QByteArray::number(i) + " \"";
        for (int j = 0; j < 10; ++j) {
            xml += "&a" + QByteArray::number(i - 1) + ";";
        }
        xml += "\">\n";
    }
    xml += "]>\n<plist><dict><key>Partner</key><string>&a9;</string></dict></plist>";
    QString error;
    EXPECT_TRUE(readPropertyListTexts(xml, &error).isEmpty());
    EXPECT_FALSE(error.isEmpty());
}

TEST(PropertyList, FilesMissingOversizedOrReadable)
{
    QTemporaryDir dir;
    QString error;
    EXPECT_TRUE(loadPropertyListTexts(dir.filePath("absent.plist"), &error).isEmpty());
    EXPECT_TRUE(error.isEmpty());

    QFile good(dir.filePath("good.plist"));
    ASSERT_TRUE(good.open(QIODevice::WriteOnly));
    good.write(plist("<key>Partner</key><string>7</string>"));
    good.close();
    EXPECT_EQ(loadPropertyListTexts(good.fileName(), &error).value("Partner"), "7");

    QFile huge(dir.filePath("huge.plist"));
    ASSERT_TRUE(huge.open(QIODevice::WriteOnly));
    huge.write(plist("<key>Partner</key><string>" + QByteArray(2 << 20, 'x') + "</string>"));
    huge.close();
    EXPECT_TRUE(loadPropertyListTexts(huge.fileName(), &error).isEmpty());
    EXPECT_FALSE(error.isEmpty());
}

}  // namespace
}  // namespace pravix
