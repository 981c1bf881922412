#pragma once

#include <ostream>

// Level-gated log of the container library. A piece is written only while the global level is
// at least the stream's level; gating happens per piece, so a suppressed message is never
// formatted.
class LogStream
{
public:
    LogStream(int level, std::ostream& target) : mLevel(level), mTarget(target) {}

    template <typename T>
    LogStream& operator<<(const T& value)
    {
        if (enabled())
        {
            mTarget << value;
        }
        return *this;
    }

    LogStream& operator<<(std::ostream& (*manipulator)(std::ostream&))
    {
        if (enabled())
        {
            mTarget << manipulator;
        }
        return *this;
    }

    bool enabled() const;

private:
    int mLevel;
    std::ostream& mTarget;
};

/// Level 0, to standard error.
LogStream& logError();
/// Level 1, to standard output.
LogStream& logWarning();
/// Level 2, to standard output.
LogStream& logInfo();

void setLogLevel(int level);
int getLogLevel();
