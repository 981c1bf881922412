#include "ClientProfile.h"

#include "IsolatedUserFolders.h"
#include "StringExtensions.h"

#include <QDir>
#include <QFile>
#include <QRegularExpression>
#include <QSettings>
#include <QTemporaryDir>

#include <gtest/gtest.h>

namespace pravix
{
namespace
{

QSettings settings()
{
    return QSettings("Pravix", "Pravix");
}

void writeFile(const QString& path, const QByteArray& bytes)
{
    QDir().mkpath(QFileInfo(path).path());
    QFile file(path);
    ASSERT_TRUE(file.open(QIODevice::WriteOnly)) << path.toStdString();
    file.write(bytes);
}

// One interface of a fake /sys/class/net: its type, its address and, for hardware, a "device"
// link to a fake PCI device folder.
void addInterface(const QString& root, const QString& name, const QByteArray& type, const QByteArray& address,
                  bool hardware)
{
    writeFile(root + "/" + name + "/type", type + "\n");
    writeFile(root + "/" + name + "/address", address + "\n");
    if (hardware) {
        const QString device = root + "/../devices/" + name;
        QDir().mkpath(device);
        ASSERT_TRUE(QFile::link(device, root + "/" + name + "/device"));
    }
}

class ClientProfileTest : public testing::Test
{
protected:
    void SetUp() override
    {
        test::IsolatedUserFolders::clearSettings();
        netRoot = dir.path() + "/class/net";
        QDir().mkpath(netRoot);
        sources.sysfsNetRoot = netRoot;
        sources.configurationPlist = dir.filePath("Configuration.plist");
        sources.today = [this] { return today; };
    }

    void writeConfiguration(const QByteArray& dictBody)
    {
        writeFile(sources.configurationPlist,
                  "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n<plist version=\"1.0\"><dict>" + dictBody +
                      "</dict></plist>\n");
    }

    QTemporaryDir dir;
    QString netRoot;
    QDate today = QDate(2024, 5, 2);
    ClientProfileSources sources;
};

TEST_F(ClientProfileTest, MachineCodeOfFirstEthernetInterface)
{
    addInterface(netRoot, "lo", "772", "00:00:00:00:00:00", false);
    addInterface(netRoot, "eth0", "1", "00:1c:42:ab:03:09", true);
    EXPECT_EQ(ClientProfile::hardwareAddressText(netRoot), "0:28:66:171:3:9");
    const ClientProfile profile(sources);
    EXPECT_EQ(profile.MachineCode(), "e293afa2d31565e1");
    EXPECT_EQ(ClientProfile(sources).MachineCode(), profile.MachineCode());
}

TEST_F(ClientProfileTest, VirtualOnlyTreeGivesZeroAddress)
{
    addInterface(netRoot, "lo", "772", "00:00:00:00:00:00", false);
    addInterface(netRoot, "br0", "1", "02:42:ac:11:00:01", false);
    addInterface(netRoot, "docker0", "1", "02:42:ac:11:00:02", false);
    addInterface(netRoot, "wg0", "65534", "", false);
    EXPECT_EQ(ClientProfile::hardwareAddressText(netRoot), "0:0:0:0:0:0");
    EXPECT_EQ(ClientProfile(sources).MachineCode(), "d12a91a7eebc7a84");
}

TEST_F(ClientProfileTest, AddressMustBeExactlySixOctets)
{
    addInterface(netRoot, "eth0", "1", "00:1c:42:ab:03", true);
    addInterface(netRoot, "eth1", "1", "00:1c:42:ab:03:09:77", true);
    addInterface(netRoot, "eth2", "1", "0:1c:42:ab:03:9", true);
    addInterface(netRoot, "eth3", "1", "00:1c:42:zz:03:09", true);
    addInterface(netRoot, "eth4", "1", "00-1c-42-ab-03-09", true);
    EXPECT_EQ(ClientProfile::hardwareAddressText(netRoot), "0:0:0:0:0:0");
    EXPECT_EQ(ClientProfile(sources).MachineCode(), "d12a91a7eebc7a84");
}

TEST_F(ClientProfileTest, FirstUsableInterfaceByName)
{
    addInterface(netRoot, "eth0", "1", "00:1c:42:ab:03:09", true);
    addInterface(netRoot, "enp0s2", "1", "00:00:00:00:00:00", true);  // all zero: passed over
    addInterface(netRoot, "enp0s3", "1", "0A:0b:0C:0d:0E:ff", true);
    addInterface(netRoot, "ib0", "32", "80:00:02:08:fe:80:00:00:00:00:00:00:00:02:c9:03:00:0a:bc:01", true);
    EXPECT_EQ(ClientProfile::hardwareAddressText(netRoot), "10:11:12:13:14:255");
}

TEST_F(ClientProfileTest, MissingOrOddTreeGivesZeroAddress)
{
    EXPECT_EQ(ClientProfile::hardwareAddressText(dir.filePath("nowhere")), "0:0:0:0:0:0");
    writeFile(netRoot + "/eth0/type", QByteArray(100000, '1'));
    writeFile(netRoot + "/eth0/address", "00:1c:42:ab:03:09\n");
    QDir().mkpath(netRoot + "/eth0/device");
    EXPECT_EQ(ClientProfile::hardwareAddressText(netRoot), "0:0:0:0:0:0");
    const QRegularExpression hex16("^[0-9a-f]{16}$");
    EXPECT_TRUE(hex16.match(ClientProfile::shared().MachineCode()).hasMatch());
    EXPECT_EQ(&ClientProfile::shared(), &ClientProfile::shared());
}

TEST_F(ClientProfileTest, PartnerFromConfigurationIsKeptForLaterRuns)
{
    writeConfiguration("<key>Partner</key><string>abc</string>");
    EXPECT_EQ(ClientProfile(sources).Partner(), "abc");
    EXPECT_EQ(settings().value("Partner").toString(), "abc");

    writeConfiguration("<key>Partner</key><string>xyz</string>");
    EXPECT_EQ(ClientProfile(sources).Partner(), "abc");
    EXPECT_EQ(settings().value("Partner").toString(), "abc");
}

TEST_F(ClientProfileTest, PartnerSettingWinsOverConfiguration)
{
    settings().setValue("Partner", "stored");
    writeConfiguration("<key>Partner</key><string>bundle</string>");
    EXPECT_EQ(ClientProfile(sources).Partner(), "stored");
}

TEST_F(ClientProfileTest, EmptyPartnerEverywhereGivesZeroAndStoresIt)
{
    settings().setValue("Partner", "");
    writeConfiguration("<key>Partner</key><string></string>");
    EXPECT_EQ(ClientProfile(sources).Partner(), "0");
    EXPECT_EQ(settings().value("Partner").toString(), "0");

    test::IsolatedUserFolders::clearSettings();
    QFile::remove(sources.configurationPlist);
    EXPECT_EQ(ClientProfile(sources).Partner(), "0");
    EXPECT_EQ(settings().value("Partner").toString(), "0");
}

TEST_F(ClientProfileTest, MalformedConfigurationCountsAsEmpty)
{
    writeFile(sources.configurationPlist, "<plist><dict><key>Partner</key><string>abc");
    testing::internal::CaptureStdout();
    const ClientProfile profile(sources);
    const std::string log = testing::internal::GetCapturedStdout();
    EXPECT_EQ(profile.Partner(), "0");
    EXPECT_TRUE(profile.International());
    EXPECT_NE(log.find("Configuration"), std::string::npos);
}

TEST_F(ClientProfileTest, InternationalReadsTheBooleanRule)
{
    const std::pair<QByteArray, bool> cases[] = {
        {"<key>International</key><string>0</string>", false},
        {"<key>International</key><string>NO</string>", false},
        {"<key>International</key><string>false</string>", false},
        {"<key>International</key><string>1</string>", true},
        {"<key>International</key><string>YES</string>", true},
        {"<key>International</key><string>true</string>", true},
        {"<key>International</key><string></string>", true},
        {"<key>International</key><false/>", false},
        {"<key>Partner</key><string>p</string>", true},
    };
    for (const auto& [body, expected] : cases) {
        writeConfiguration(body);
        EXPECT_EQ(ClientProfile(sources).International(), expected) << body.constData();
    }
    QFile::remove(sources.configurationPlist);
    EXPECT_TRUE(ClientProfile(sources).International());
}

TEST_F(ClientProfileTest, InstallationFlagsOncePerUser)
{
    const ClientProfile profile(sources);
    EXPECT_FALSE(profile.IsInstallationSent());
    EXPECT_FALSE(profile.IsSoftInstallationSent());

    settings().setValue("UploadInstallation_Key", "0");
    EXPECT_FALSE(profile.IsInstallationSent());
    profile.SaveInstallationSent();
    EXPECT_TRUE(profile.IsInstallationSent());
    EXPECT_EQ(settings().value("UploadInstallation_Key").toString(), "1");

    profile.SaveSoftInstallationSent();
    EXPECT_TRUE(profile.IsSoftInstallationSent());
    EXPECT_TRUE(settings().value("SoftInstallData_Installation_Key").toBool());

    // Days later the two once-only flags still hold.
    today = today.addDays(40);
    EXPECT_TRUE(profile.IsInstallationSent());
    EXPECT_TRUE(profile.IsSoftInstallationSent());
}

TEST_F(ClientProfileTest, ActivityFlagsHoldForOneLocalDay)
{
    const ClientProfile profile(sources);
    settings().setValue("UploadActive_Key", "2024/05/01");
    settings().setValue("SoftInstallData_Active_Key", "2024/05/01");
    EXPECT_FALSE(profile.IsActiveSentToday());
    EXPECT_FALSE(profile.IsSoftActiveSentToday());

    profile.SaveActiveSentToday();
    EXPECT_TRUE(profile.IsActiveSentToday());
    EXPECT_FALSE(profile.IsSoftActiveSentToday());
    EXPECT_EQ(settings().value("UploadActive_Key").toString(), "2024/05/02");
    profile.SaveSoftActiveSentToday();
    EXPECT_TRUE(profile.IsSoftActiveSentToday());

    today = today.addDays(1);
    EXPECT_FALSE(profile.IsActiveSentToday());
    EXPECT_FALSE(profile.IsSoftActiveSentToday());
}

TEST_F(ClientProfileTest, DateFlagMustBeTodaysText)
{
    const ClientProfile profile(sources);
    settings().setValue("UploadActive_Key", QStringList{"2024/05/02"});
    EXPECT_FALSE(profile.IsActiveSentToday());
    settings().setValue("UploadActive_Key", "2024/5/2");
    EXPECT_FALSE(profile.IsActiveSentToday());
    settings().setValue("UploadActive_Key", "2024/05/02 ");
    EXPECT_FALSE(profile.IsActiveSentToday());
}

}  // namespace
}  // namespace pravix
