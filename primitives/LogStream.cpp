#include "LogStream.h"

#include <iostream>

namespace
{
int gLogLevel = 1;
}

bool LogStream::enabled() const
{
    return gLogLevel >= mLevel;
}

LogStream& logError()
{
    static LogStream stream(0, std::cerr);
    return stream;
}

LogStream& logWarning()
{
    static LogStream stream(1, std::cout);
    return stream;
}

LogStream& logInfo()
{
    static LogStream stream(2, std::cout);
    return stream;
}

void setLogLevel(int level)
{
    gLogLevel = level;
}

int getLogLevel()
{
    return gLogLevel;
}
