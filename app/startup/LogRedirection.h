#pragma once

#include <QDateTime>
#include <QString>

#include <functional>

namespace pravix
{

// The log file of one launch: everything the program writes to its standard output and error
// lands in "<XDG data folder>/Pravix/Pravix_yyyy-MM-dd HH:mm.log".

// "Pravix_" + the local time as "yyyy-MM-dd HH:mm" (the calendar year, GetTimeYYYMMDDHHMM) + ".log":
// one file per minute of launch, the name holding a blank and a colon.
QString logFileName(const QDateTime& moment);

// Sends standard output, error and input, in that order, into `filePath` (appending; created,
// readable by its owner only, when missing). The file is opened first: when that fails nothing is
// touched and the streams keep working where they were. The C and C++ streams are flushed before
// and standard output and error are line-buffered after, so a line reaches the file when it ends.
bool redirectStandardStreams(const QString& filePath);

// Where the log goes and when. Tests give a temporary data folder, a fixed clock and, when the
// test process's own streams must stay put, a stand-in for the redirection.
struct LogRedirectionSources
{
    // The user's data folder (XDG_DATA_HOME, else ~/.local/share); empty when unknown.
    std::function<QString()> dataFolder;
    std::function<QDateTime()> now;
    std::function<bool(const QString& filePath)> redirectStreams = redirectStandardStreams;

    // The user's data folder, the current time and the real redirection.
    static LogRedirectionSources standard();
};

// The log redirection of start-up. The log folder is the data folder + "/Pravix", made with its
// parents when missing (a new account may lack the data folder itself). That minute's file is
// deleted (a second launch in the same minute starts it afresh), then the streams are redirected
// into it; older logs are kept. Returns the log folder (the delegate's LogPath): empty when there
// is no data folder; the folder also when it could not be made or the file not opened (the streams
// are left alone then, and one line on standard error says why).
QString redirectNSlogToDocumentFolder(const LogRedirectionSources& sources);

}  // namespace pravix
