#include "ClientProfile.h"

#include "PropertyList.h"
#include "StringExtensions.h"
#include "TextReading.h"
#include "UserDefaults.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>

#include <array>
#include <iostream>
#include <optional>

namespace pravix
{
namespace
{

const QString kPartnerKey = QStringLiteral("Partner");
const QString kInternationalKey = QStringLiteral("International");
const QString kInstallationKey = QStringLiteral("UploadInstallation_Key");
const QString kSoftInstallationKey = QStringLiteral("SoftInstallData_Installation_Key");
const QString kActiveKey = QStringLiteral("UploadActive_Key");
const QString kSoftActiveKey = QStringLiteral("SoftInstallData_Active_Key");

using MacAddress = std::array<unsigned char, 6>;

// A sysfs attribute is one short line; a larger file is not what we look for.
QString readAttribute(const QString& path)
{
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly)) {
        return {};
    }
    return QString::fromLatin1(file.read(256)).trimmed();
}

bool isHexDigit(QChar c)
{
    return (c >= u'0' && c <= u'9') || (c >= u'a' && c <= u'f') || (c >= u'A' && c <= u'F');
}

// "00:1c:42:ab:03:09": exactly six groups of two hex digits. Anything else (an InfiniBand
// address of twenty octets, a truncated one) is not an Ethernet address.
std::optional<MacAddress> parseMacAddress(const QString& text)
{
    const QStringList parts = text.split(u':');
    if (parts.size() != 6) {
        return std::nullopt;
    }
    MacAddress mac{};
    for (int i = 0; i < 6; ++i) {
        const QString& part = parts[i];
        if (part.size() != 2 || !isHexDigit(part.at(0)) || !isHexDigit(part.at(1))) {
            return std::nullopt;
        }
        mac[i] = static_cast<unsigned char>(part.toUInt(nullptr, 16));
    }
    return mac;
}

bool isAllZero(const MacAddress& mac)
{
    for (const unsigned char b : mac) {
        if (b != 0) {
            return false;
        }
    }
    return true;
}

bool flagReadsYes(const QString& key)
{
    const QVariant stored = userDefaults().value(key);
    return stored.isValid() && readBoolean(stored.toString());
}

bool flagHoldsText(const QString& key, const QString& text)
{
    const QVariant stored = userDefaults().value(key);
    return stored.typeId() == QMetaType::QString && stored.toString() == text;
}

void storeValue(const QString& key, const QVariant& value)
{
    QSettings settings = userDefaults();
    settings.setValue(key, value);
    settings.sync();
}

}  // namespace

ClientProfile::ClientProfile(const ClientProfileSources& sources)
    : sources_(sources)
{
    QString plistError;
    const QHash<QString, QString> plist = loadPropertyListTexts(sources_.configurationPlist, &plistError);
    if (!plistError.isEmpty()) {
        std::cout << "【日志】Configuration: " << plistError.toUtf8().constData() << std::endl;
    }

    // The first run fixes the channel code, so a later bundle with another list keeps it.
    partner_ = userDefaults().value(kPartnerKey).toString();
    if (partner_.isEmpty()) {
        partner_ = plist.value(kPartnerKey);
        if (partner_.isEmpty()) {
            partner_ = QStringLiteral("0");
        }
        storeValue(kPartnerKey, partner_);
    }

    const QString international = plist.value(kInternationalKey);
    international_ = international.isEmpty() ? true : readBoolean(international);

    machineCode_ = md5(hardwareAddressText(sources_.sysfsNetRoot)).left(16);
}

ClientProfile& ClientProfile::shared()
{
    static ClientProfile profile;
    return profile;
}

QString ClientProfile::hardwareAddressText(const QString& sysfsNetRoot)
{
    MacAddress mac{};
    bool found = false;
    const QStringList names = QDir(sysfsNetRoot).entryList(QDir::Dirs | QDir::NoDotAndDotDot | QDir::System,
                                                            QDir::Name);
    for (const QString& name : names) {
        const QString base = sysfsNetRoot + u'/' + name;
        // Type 1 is Ethernet (ARPHRD_ETHER); only hardware has a "device" entry, so bridges,
        // tunnels and virtual pairs, which share the type, are passed over.
        if (readAttribute(base + QStringLiteral("/type")) != QLatin1String("1")) {
            continue;
        }
        if (!QFileInfo::exists(base + QStringLiteral("/device"))) {
            continue;
        }
        const std::optional<MacAddress> parsed = parseMacAddress(readAttribute(base + QStringLiteral("/address")));
        if (!parsed || isAllZero(*parsed)) {
            continue;
        }
        mac = *parsed;
        found = true;
        break;
    }
    if (found) {
        std::cout << QString::asprintf("This system's built-in MAC address is %02x:%02x:%02x:%02x:%02x:%02x.",
                                       mac[0], mac[1], mac[2], mac[3], mac[4], mac[5])
                         .toLatin1()
                         .constData()
                  << std::endl;
    } else {
        std::cout << QString::asprintf("GetMACAddress returned 0x%08x", 5).toLatin1().constData() << std::endl;
    }
    QStringList octets;
    for (const unsigned char b : mac) {
        octets << QString::number(b);
    }
    return octets.join(u':');
}

QString ClientProfile::todayText() const
{
    return sources_.today().toString(QStringLiteral("yyyy/MM/dd"));
}

bool ClientProfile::IsInstallationSent() const
{
    return flagReadsYes(kInstallationKey);
}

void ClientProfile::SaveInstallationSent() const
{
    storeValue(kInstallationKey, QStringLiteral("1"));
}

bool ClientProfile::IsSoftInstallationSent() const
{
    return flagReadsYes(kSoftInstallationKey);
}

void ClientProfile::SaveSoftInstallationSent() const
{
    storeValue(kSoftInstallationKey, true);
}

bool ClientProfile::IsActiveSentToday() const
{
    return flagHoldsText(kActiveKey, todayText());
}

void ClientProfile::SaveActiveSentToday() const
{
    storeValue(kActiveKey, todayText());
}

bool ClientProfile::IsSoftActiveSentToday() const
{
    return flagHoldsText(kSoftActiveKey, todayText());
}

void ClientProfile::SaveSoftActiveSentToday() const
{
    storeValue(kSoftActiveKey, todayText());
}

}  // namespace pravix
