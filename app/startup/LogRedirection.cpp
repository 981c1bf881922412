#include "LogRedirection.h"

#include "StringExtensions.h"

#include <QDir>
#include <QFileInfo>
#include <QFile>
#include <QStandardPaths>

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <iostream>

#include <fcntl.h>
#include <unistd.h>

namespace pravix
{

QString logFileName(const QDateTime& moment)
{
    return QStringLiteral("Pravix_") + GetTimeYYYMMDDHHMM(moment) + QStringLiteral(".log");
}

bool redirectStandardStreams(const QString& filePath)
{
    const QByteArray path = QFile::encodeName(filePath);
    const int fd = ::open(path.constData(), O_RDWR | O_CREAT | O_APPEND | O_CLOEXEC, 0600);
    if (fd < 0) {
        return false;
    }
    // What is still buffered belongs where it was written before.
    std::cout.flush();
    std::cerr.flush();
    std::clog.flush();
    std::fflush(stdout);
    std::fflush(stderr);
    bool redirected = true;
    for (const int stream : {STDOUT_FILENO, STDERR_FILENO, STDIN_FILENO}) {
        if (fd != stream && ::dup2(fd, stream) < 0) {
            redirected = false;
        }
    }
    // A process started with a standard stream closed gets that number for the file: keep it.
    if (fd > STDERR_FILENO) {
        ::close(fd);
    }
    std::setvbuf(stdout, nullptr, _IOLBF, BUFSIZ);
    std::setvbuf(stderr, nullptr, _IOLBF, BUFSIZ);
    std::clearerr(stdin);
    return redirected;
}

LogRedirectionSources LogRedirectionSources::standard()
{
    LogRedirectionSources sources;
    sources.dataFolder = [] { return QStandardPaths::writableLocation(QStandardPaths::GenericDataLocation); };
    sources.now = [] { return QDateTime::currentDateTime(); };
    return sources;
}

QString redirectNSlogToDocumentFolder(const LogRedirectionSources& sources)
{
    const QString dataFolder = sources.dataFolder ? sources.dataFolder() : QString();
    if (dataFolder.isEmpty()) {
        return QString();
    }
    const QString logPath = dataFolder + QStringLiteral("/Pravix");
    if (!QFileInfo::exists(logPath) && !QDir().mkpath(logPath)) {
        std::cerr << "【日志】No log file: the folder " << logPath.toUtf8().constData() << " cannot be made"
                  << std::endl;
        return logPath;
    }
    const QString filePath = logPath + u'/' + logFileName(sources.now ? sources.now() : QDateTime::currentDateTime());
    QFile::remove(filePath);
    if (!sources.redirectStreams || !sources.redirectStreams(filePath)) {
        const int error = errno;
        std::cerr << "【日志】No log file: " << filePath.toUtf8().constData() << ": " << std::strerror(error)
                  << std::endl;
    }
    return logPath;
}

}  // namespace pravix
