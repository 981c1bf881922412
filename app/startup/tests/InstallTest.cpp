#include <QDir>
#include <QFile>
#include <QImage>
#include <QProcess>
#include <QStandardPaths>
#include <QTemporaryDir>
#include <QtTest>

// `cmake --install` of this build into a temporary prefix: the program, its picture decoder helper, a
// desktop entry that the desktop's application menu accepts, and the icon it names.
class InstallTest : public QObject
{
    Q_OBJECT

private slots:
    void installsProgramDesktopEntryAndIcon();
};

namespace
{

// The "Key=value" lines of the desktop entry's main group.
QMap<QString, QString> desktopEntry(const QString& path)
{
    QMap<QString, QString> entry;
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly | QIODevice::Text)) {
        return entry;
    }
    bool inMain = false;
    while (!file.atEnd()) {
        const QString line = QString::fromUtf8(file.readLine()).trimmed();
        if (line.startsWith('[')) {
            inMain = line == "[Desktop Entry]";
        } else if (inMain && line.contains('=') && !line.startsWith('#')) {
            entry.insert(line.section('=', 0, 0), line.section('=', 1));
        }
    }
    return entry;
}

}  // namespace

void InstallTest::installsProgramDesktopEntryAndIcon()
{
    QTemporaryDir prefix;
    QProcess install;
    install.start(PRAVIX_CMAKE_COMMAND, {"--install", PRAVIX_BINARY_DIR, "--prefix", prefix.path()});
    QVERIFY(install.waitForFinished(120000));
    QVERIFY2(install.exitStatus() == QProcess::NormalExit && install.exitCode() == 0,
             install.readAllStandardError().constData());

    const QFileInfo program(prefix.path() + "/bin/pravix");
    QVERIFY(program.isFile() && program.isExecutable());
    // The picture decoder helper where the installed program looks for it: beside it, under libexec.
    const QFileInfo helper(program.absolutePath() + "/../libexec/pravix/pravix-picture-decoder");
    QVERIFY2(helper.isFile() && helper.isExecutable(), qPrintable(helper.filePath()));

    const QString desktopFile = prefix.path() + "/share/applications/pravix.desktop";
    const QMap<QString, QString> entry = desktopEntry(desktopFile);
    QCOMPARE(entry.value("Type"), QString("Application"));
    QCOMPARE(entry.value("Name"), QString("Pravix"));
    // It starts the installed program by the name the desktop finds on its path, and names the
    // installed icon.
    QCOMPARE(entry.value("Exec").section(' ', 0, 0), program.fileName());
    const QString icon = prefix.path() + "/share/icons/hicolor/scalable/apps/" + entry.value("Icon") + ".svg";
    const QImage picture(icon);
    QVERIFY2(!picture.isNull(), qPrintable(icon));
    QCOMPARE(picture.width(), picture.height());

    const QString validator = QStandardPaths::findExecutable("desktop-file-validate");
    if (validator.isEmpty()) {
        QFAIL("desktop-file-validate is missing: run scripts/install-deps.sh");
    }
    QProcess validate;
    validate.start(validator, {desktopFile});
    QVERIFY(validate.waitForFinished(30000));
    QVERIFY2(validate.exitCode() == 0, validate.readAllStandardOutput().constData());
}

QTEST_MAIN(InstallTest)
#include "InstallTest.moc"
