#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QProcess>
#include <QSettings>
#include <QTemporaryDir>
#include <QtTest>

#include <csignal>

// The real program, started as a user starts it (under the offscreen platform), with its home and
// XDG folders in a temporary folder: it comes up, writes its log and settings where the README says,
// and ends cleanly when asked to stop.
class PravixSmokeTest : public QObject
{
    Q_OBJECT

private slots:
    void startsAndQuitsCleanly_data();
    void startsAndQuitsCleanly();
};

namespace
{

QByteArray readLogs(const QString& folder)
{
    QByteArray text;
    for (const QFileInfo& log : QDir(folder).entryInfoList({"Pravix_*.log"}, QDir::Files)) {
        QFile file(log.filePath());
        if (file.open(QIODevice::ReadOnly)) {
            text += file.readAll();
        }
    }
    return text;
}

}  // namespace

void PravixSmokeTest::startsAndQuitsCleanly_data()
{
    QTest::addColumn<int>("stopSignal");
    QTest::newRow("session ends (SIGTERM)") << int(SIGTERM);
    QTest::newRow("Ctrl+C in its terminal (SIGINT)") << int(SIGINT);
}

void PravixSmokeTest::startsAndQuitsCleanly()
{
    QFETCH(int, stopSignal);
    QTemporaryDir root;
    QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
    for (const char* sub : {"home", "config", "data", "cache", "runtime"}) {
        QVERIFY(QDir(root.path()).mkpath(sub));
    }
    QFile::setPermissions(root.path() + "/runtime", QFileDevice::ReadOwner | QFileDevice::WriteOwner | QFileDevice::ExeOwner);
    environment.insert("HOME", root.path() + "/home");
    environment.insert("XDG_CONFIG_HOME", root.path() + "/config");
    environment.insert("XDG_DATA_HOME", root.path() + "/data");
    environment.insert("XDG_CACHE_HOME", root.path() + "/cache");
    environment.insert("XDG_RUNTIME_DIR", root.path() + "/runtime");
    environment.insert("QT_QPA_PLATFORM", "offscreen");

    QProcess pravix;
    pravix.setProcessEnvironment(environment);
    pravix.start(PRAVIX_EXECUTABLE, {});
    QVERIFY2(pravix.waitForStarted(10000), qPrintable(pravix.errorString()));

    // Up when its log says so: the window is shown and start-up has run.
    const QString logFolder = root.path() + "/data/Pravix";
    QElapsedTimer waiting;
    waiting.start();
    while (!readLogs(logFolder).contains("【日志】Pravix " PRAVIX_VERSION " started") && waiting.elapsed() < 60000 &&
           pravix.state() == QProcess::Running) {
        QTest::qWait(50);
    }
    QVERIFY2(pravix.state() == QProcess::Running,
             pravix.readAllStandardError().constData());
    QVERIFY2(readLogs(logFolder).contains("started"), readLogs(logFolder).constData());
    QCOMPARE(QDir(logFolder).entryList({"Pravix_*.log"}, QDir::Files).size(), 1);

    ::kill(pid_t(pravix.processId()), stopSignal);
    QVERIFY(pravix.waitForFinished(20000));
    const QByteArray log = readLogs(logFolder);
    QVERIFY2(pravix.exitStatus() == QProcess::NormalExit, log.constData());
    QVERIFY2(pravix.exitCode() == 0, log.constData());
    QVERIFY2(!log.contains("AddressSanitizer") && !log.contains("LeakSanitizer") && !log.contains("runtime error"),
             log.constData());

    // Its settings, cache and log live in the XDG folders.
    const QSettings settings(root.path() + "/config/Pravix/Pravix.conf", QSettings::IniFormat);
    QVERIFY(settings.contains("Language_Key"));
    QVERIFY(settings.contains("AppLanguage"));
    QVERIFY(QFileInfo(root.path() + "/cache/.Pravix").isDir());
}

QTEST_GUILESS_MAIN(PravixSmokeTest)
#include "PravixSmokeTest.moc"
