#pragma once

// For the Qt test suites only: include where Qt Core is linked.

#include <QDir>
#include <QSettings>
#include <QStandardPaths>
#include <QTemporaryDir>

#include <cstdlib>

namespace pravix::test
{

// Points the home folder, the XDG folders, QStandardPaths and QSettings' user scope at one fresh
// temporary folder for the life of the object, so no test reads or writes the user's own files.
// Make it before anything reads a setting or a standard folder (first thing in main, or a member
// of the QTest object). Settings of "Pravix"/"Pravix" land in <path>/config/Pravix/Pravix.conf.
class IsolatedUserFolders
{
public:
    IsolatedUserFolders()
    {
        const QString root = dir_.path();
        for (const char* sub : {"home", "config", "data", "cache", "runtime"}) {
            QDir(root).mkpath(QString::fromLatin1(sub));
        }
        setenv("HOME", (root + "/home").toUtf8().constData(), 1);
        setenv("XDG_CONFIG_HOME", (root + "/config").toUtf8().constData(), 1);
        setenv("XDG_DATA_HOME", (root + "/data").toUtf8().constData(), 1);
        setenv("XDG_CACHE_HOME", (root + "/cache").toUtf8().constData(), 1);
        setenv("XDG_RUNTIME_DIR", (root + "/runtime").toUtf8().constData(), 1);
        QFile::setPermissions(root + "/runtime", QFileDevice::ReadOwner | QFileDevice::WriteOwner |
                                                     QFileDevice::ExeOwner);
        // Test mode puts the standard folders under the (temporary) home folder's .qttest.
        QStandardPaths::setTestModeEnabled(true);
        QSettings::setPath(QSettings::NativeFormat, QSettings::UserScope, root + "/config");
        QSettings::setPath(QSettings::IniFormat, QSettings::UserScope, root + "/config");
    }

    QString path() const { return dir_.path(); }

    // Forgets every stored setting of the application, for a test that needs a first run.
    static void clearSettings()
    {
        QSettings settings(QStringLiteral("Pravix"), QStringLiteral("Pravix"));
        settings.clear();
        settings.sync();
    }

private:
    QTemporaryDir dir_;
};

}  // namespace pravix::test
