#pragma once

#include <QDate>
#include <QString>

#include <functional>

namespace pravix
{

// Where a ClientProfile finds what it reads; tests point these at fake trees, files and dates.
struct ClientProfileSources
{
    QString sysfsNetRoot = QStringLiteral("/sys/class/net");
    QString configurationPlist = QStringLiteral(":/Configuration.plist");
    std::function<QDate()> today = [] { return QDate::currentDate(); };
};

// The settings the statistics requests draw on: the machine code, the channel code (Partner), the
// market flag (International), fixed when the profile is made, and four once-only / once-a-day
// flags kept in the user settings (QSettings "Pravix"/"Pravix") and read at every call.
class ClientProfile
{
public:
    explicit ClientProfile(const ClientProfileSources& sources = {});

    // The one profile of the process, made on first use with the default sources.
    static ClientProfile& shared();

    // First 16 hex digits of md5 of the hardware-address text; the same on every run.
    const QString& MachineCode() const { return machineCode_; }
    // User setting "Partner", else the configuration list's "Partner", else "0"; never empty.
    const QString& Partner() const { return partner_; }
    // The configuration list's "International" read as a boolean; YES when absent or empty.
    bool International() const { return international_; }

    bool IsInstallationSent() const;      // "UploadInstallation_Key" reads YES
    void SaveInstallationSent() const;    // stores "1"
    bool IsSoftInstallationSent() const;  // "SoftInstallData_Installation_Key" reads YES
    void SaveSoftInstallationSent() const;
    bool IsActiveSentToday() const;       // "UploadActive_Key" holds today as "yyyy/MM/dd"
    void SaveActiveSentToday() const;
    bool IsSoftActiveSentToday() const;   // "SoftInstallData_Active_Key", the same rule
    void SaveSoftActiveSentToday() const;

    // The six octets of the first physical Ethernet interface under `sysfsNetRoot` (type 1, a
    // "device" entry, an address of exactly six octets that are not all zero; first by name),
    // written as unsigned decimals joined by ":"; "0:0:0:0:0:0" when there is none.
    static QString hardwareAddressText(const QString& sysfsNetRoot);

private:
    QString todayText() const;

    ClientProfileSources sources_;
    QString machineCode_;
    QString partner_;
    bool international_ = true;
};

}  // namespace pravix
