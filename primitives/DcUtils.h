#pragma once

#include <string>

namespace DC
{
/// Exception of the small string/file helper set: the subject (a path, or empty) and a message.
class Exception
{
public:
    Exception(std::string subject, std::string message) : mSubject(std::move(subject)), mMessage(std::move(message)) {}
    virtual ~Exception() = default;

    const std::string& getSubject() const { return mSubject; }
    const std::string& getMessage() const { return mMessage; }

private:
    std::string mSubject;
    std::string mMessage;
};

/// Lower-cases each byte with the C library's tolower.
std::string toLower(std::string text);
/// Upper-cases each byte with the C library's toupper.
std::string toUpper(std::string text);
}  // namespace DC
