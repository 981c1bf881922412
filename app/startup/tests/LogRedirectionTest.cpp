#include "LogRedirection.h"

#include <QDir>
#include <QFile>
#include <QProcess>
#include <QTemporaryDir>
#include <QtTest>

#include <cstdio>
#include <iostream>

#include <sys/stat.h>
#include <unistd.h>

using namespace pravix;

// The log file of a launch. The redirection itself runs only in child processes (this program
// started again with childRedirects), never in the test process.
class LogRedirectionTest : public QObject
{
    Q_OBJECT

private slots:
    void nameFollowsTheClock();
    void streamsGoIntoThatMinutesFile();
    void calendarYearNamesTheFile_data();
    void calendarYearNamesTheFile();
    void launchAYearLaterKeepsTheOldLog();
    void secondLaunchInTheSameMinuteStartsTheFileAfresh();
    void folderThatCannotBeMadeLeavesTheStreams();
    void fileThatCannotBeOpenedLeavesTheStreams();
    void noDataFolderMeansNoLog();
    void childRedirects();

private:
    struct Child
    {
        int exitCode = -1;
        QByteArray stdOut;
        QByteArray stdErr;
    };
    // Runs childRedirects with that data folder and clock (ISO 8601 local time).
    static Child runChild(const QString& dataFolder, const QString& moment);
    static QByteArray readFile(const QString& path);
};

namespace
{

const char* const kMarkers[] = {"c-stdout", "cpp-stdout", "c-stderr", "cpp-stderr", "qt-warning", "stdin-follows",
                                "unflushed-line"};

}  // namespace

LogRedirectionTest::Child LogRedirectionTest::runChild(const QString& dataFolder, const QString& moment)
{
    QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
    environment.insert(QStringLiteral("PRAVIX_LOG_CHILD"), dataFolder + QLatin1Char('\n') + moment);
    QProcess process;
    process.setProcessEnvironment(environment);
    process.start(QCoreApplication::applicationFilePath(), {QStringLiteral("childRedirects")});
    Child child;
    if (!process.waitForFinished(60000) || process.exitStatus() != QProcess::NormalExit) {
        process.kill();
        return child;
    }
    child.exitCode = process.exitCode();
    child.stdOut = process.readAllStandardOutput();
    child.stdErr = process.readAllStandardError();
    return child;
}

QByteArray LogRedirectionTest::readFile(const QString& path)
{
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
}

void LogRedirectionTest::nameFollowsTheClock()
{
    QCOMPARE(logFileName(QDateTime(QDate(2026, 12, 8), QTime(9, 5, 59))), QString("Pravix_2026-12-08 09:05.log"));
    QCOMPARE(logFileName(QDateTime(QDate(2026, 12, 8), QTime(23, 0))), QString("Pravix_2026-12-08 23:00.log"));
}

void LogRedirectionTest::streamsGoIntoThatMinutesFile()
{
    QTemporaryDir root;
    // A new account may lack the data folder itself: it is made with the log folder.
    const QString data = root.path() + "/home/.local/share";
    const Child child = runChild(data, "2026-12-08T09:05:30");
    QCOMPARE(child.exitCode, 0);

    const QString logFolder = data + "/Pravix";
    QCOMPARE(QDir(logFolder).entryList(QDir::Files), QStringList{"Pravix_2026-12-08 09:05.log"});
    const QByteArray log = readFile(logFolder + "/Pravix_2026-12-08 09:05.log");
    QVERIFY2(log.contains("LogPath=" + logFolder.toUtf8() + "\n"), log.constData());
    for (const char* marker : kMarkers) {
        QVERIFY2(log.contains(marker), marker);
        QVERIFY2(!child.stdOut.contains(marker) && !child.stdErr.contains(marker), marker);
    }
    // Readable by its owner only: the log names the user's files.
    QCOMPARE(QFile::permissions(logFolder + "/Pravix_2026-12-08 09:05.log") &
                 (QFileDevice::ReadGroup | QFileDevice::ReadOther),
             QFileDevice::Permissions());
}

void LogRedirectionTest::calendarYearNamesTheFile_data()
{
    QTest::addColumn<QString>("moment");
    QTest::addColumn<QString>("name");
    // Days whose ISO week belongs to the other year: 30 December 2024 lies in week 1 of 2025,
    // 1 January 2027 in week 53 of 2026.
    QTest::newRow("last days of a year") << "2024-12-30T10:00:00" << "Pravix_2024-12-30 10:00.log";
    QTest::newRow("31 December") << "2026-12-31T23:59:00" << "Pravix_2026-12-31 23:59.log";
    QTest::newRow("1 January") << "2027-01-01T00:00:00" << "Pravix_2027-01-01 00:00.log";
}

void LogRedirectionTest::calendarYearNamesTheFile()
{
    QFETCH(QString, moment);
    QFETCH(QString, name);
    QTemporaryDir data;
    QCOMPARE(runChild(data.path(), moment).exitCode, 0);
    QCOMPARE(QDir(data.path() + "/Pravix").entryList(QDir::Files), QStringList{name});
}

// A launch at the same minute a year on writes its own file: the log of 1 January 2026 stays.
void LogRedirectionTest::launchAYearLaterKeepsTheOldLog()
{
    QCOMPARE(logFileName(QDateTime(QDate(2026, 1, 1), QTime(10, 0))), QString("Pravix_2026-01-01 10:00.log"));
    QCOMPARE(logFileName(QDateTime(QDate(2027, 1, 1), QTime(10, 0))), QString("Pravix_2027-01-01 10:00.log"));

    QTemporaryDir data;
    QCOMPARE(runChild(data.path(), "2026-01-01T10:00:00").exitCode, 0);
    const QString folder = data.path() + "/Pravix";
    const QByteArray first = readFile(folder + "/Pravix_2026-01-01 10:00.log");
    QVERIFY(!first.isEmpty());
    QCOMPARE(runChild(data.path(), "2027-01-01T10:00:00").exitCode, 0);
    QCOMPARE(QDir(folder).entryList(QDir::Files),
             QStringList({"Pravix_2026-01-01 10:00.log", "Pravix_2027-01-01 10:00.log"}));
    QCOMPARE(readFile(folder + "/Pravix_2026-01-01 10:00.log"), first);
}

void LogRedirectionTest::secondLaunchInTheSameMinuteStartsTheFileAfresh()
{
    QTemporaryDir data;
    const QString folder = data.path() + "/Pravix";
    QVERIFY(QDir().mkpath(folder));
    for (const char* name : {"/Pravix_2026-12-08 09:05.log", "/Pravix_2026-12-08 09:04.log"}) {
        QFile old(folder + name);
        QVERIFY(old.open(QIODevice::WriteOnly));
        old.write("earlier launch\n");
    }
    QCOMPARE(runChild(data.path(), "2026-12-08T09:05:00").exitCode, 0);
    const QByteArray log = readFile(folder + "/Pravix_2026-12-08 09:05.log");
    QVERIFY(!log.contains("earlier launch"));
    QVERIFY(log.contains("c-stdout"));
    // Older logs are never deleted.
    QCOMPARE(readFile(folder + "/Pravix_2026-12-08 09:04.log"), QByteArray("earlier launch\n"));
}

void LogRedirectionTest::folderThatCannotBeMadeLeavesTheStreams()
{
    QTemporaryDir root;
    // The data folder lies under a plain file, so no folder can be made there, whoever runs this.
    QFile blocker(root.path() + "/file");
    QVERIFY(blocker.open(QIODevice::WriteOnly));
    blocker.close();
    const QString data = root.path() + "/file/share";
    const Child child = runChild(data, "2026-12-08T09:05:00");
    QCOMPARE(child.exitCode, 0);
    // The folder is kept as the log folder (opening it then fails quietly), the streams work.
    QVERIFY(child.stdOut.contains("LogPath=" + data.toUtf8() + "/Pravix\n"));
    QVERIFY(child.stdOut.contains("c-stdout") && child.stdOut.contains("cpp-stdout"));
    QVERIFY(child.stdErr.contains("c-stderr") && child.stdErr.contains("cpp-stderr"));
    QVERIFY((child.stdOut + child.stdErr).contains("qt-warning"));
    QVERIFY(child.stdErr.contains("No log file"));
    QCOMPARE(QDir(root.path()).entryList(QDir::AllEntries | QDir::NoDotAndDotDot), QStringList{"file"});
}

void LogRedirectionTest::fileThatCannotBeOpenedLeavesTheStreams()
{
    QTemporaryDir data;
    // A folder (not empty, so it cannot be deleted) holds the log file's name: opening it fails.
    const QString name = data.path() + "/Pravix/Pravix_2026-12-08 09:05.log";
    QVERIFY(QDir().mkpath(name));
    QFile inside(name + "/keep");
    QVERIFY(inside.open(QIODevice::WriteOnly));
    inside.close();

    const Child child = runChild(data.path(), "2026-12-08T09:05:00");
    QCOMPARE(child.exitCode, 0);
    // A failed opening must not close the streams: every later line still arrives.
    for (const char* marker : {"c-stdout", "cpp-stdout"}) {
        QVERIFY2(child.stdOut.contains(marker), marker);
    }
    for (const char* marker : {"c-stderr", "cpp-stderr"}) {
        QVERIFY2(child.stdErr.contains(marker), marker);
    }
    QVERIFY((child.stdOut + child.stdErr).contains("qt-warning"));
    QVERIFY(!child.stdOut.contains("stdin-follows"));
    QVERIFY(child.stdOut.contains("LogPath=" + data.path().toUtf8() + "/Pravix\n"));
    QCOMPARE(QDir(data.path() + "/Pravix").entryList(QDir::AllEntries | QDir::NoDotAndDotDot),
             QStringList{"Pravix_2026-12-08 09:05.log"});
    QVERIFY(QFileInfo(name).isDir());
}

void LogRedirectionTest::noDataFolderMeansNoLog()
{
    const Child child = runChild(QString(), "2026-12-08T09:05:00");
    QCOMPARE(child.exitCode, 0);
    QVERIFY(child.stdOut.contains("LogPath=\n"));
    QVERIFY(child.stdOut.contains("c-stdout"));
    QVERIFY(child.stdErr.contains("c-stderr"));
}

// The child: redirects with the given data folder and clock, then writes through every stream.
// Its last line is left in the C buffer and the process ends without flushing: only a
// line-buffered stream gets it into the file (a pipe, where the streams stay, loses it).
void LogRedirectionTest::childRedirects()
{
    const QString job = qEnvironmentVariable("PRAVIX_LOG_CHILD");
    if (job.isEmpty()) {
        QSKIP("runs only as the child of the other cases");
    }
    const QStringList parts = job.split(QLatin1Char('\n'));
    LogRedirectionSources sources = LogRedirectionSources::standard();
    const QString dataFolder = parts[0];
    const QDateTime moment = QDateTime::fromString(parts[1], Qt::ISODate);
    sources.dataFolder = [dataFolder] { return dataFolder; };
    sources.now = [moment] { return moment; };
    std::fflush(stdout);
    const QString logPath = redirectNSlogToDocumentFolder(sources);

    std::printf("LogPath=%s\n", logPath.toUtf8().constData());
    std::printf("c-stdout\n");
    std::cout << "cpp-stdout" << '\n';
    std::fprintf(stderr, "c-stderr\n");
    std::cerr << "cpp-stderr" << '\n';
    qWarning("qt-warning");
    struct stat in = {};
    struct stat out = {};
    if (fstat(STDIN_FILENO, &in) == 0 && fstat(STDOUT_FILENO, &out) == 0 && in.st_ino == out.st_ino &&
        in.st_dev == out.st_dev) {
        std::printf("stdin-follows\n");
    }
    std::cout.flush();
    std::fflush(stdout);
    std::fflush(stderr);
    std::printf("unflushed-line\n");
    _exit(0);
}

QTEST_GUILESS_MAIN(LogRedirectionTest)
#include "LogRedirectionTest.moc"
