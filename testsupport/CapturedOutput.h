#pragma once

#include <iostream>
#include <sstream>
#include <streambuf>
#include <string>

namespace testsupport
{

// Collects what is written to the standard output (the log) while it lives.
class CapturedOutput
{
public:
    CapturedOutput() : previous_(std::cout.rdbuf(buffer_.rdbuf())) {}
    ~CapturedOutput() { std::cout.rdbuf(previous_); }
    CapturedOutput(const CapturedOutput&) = delete;
    CapturedOutput& operator=(const CapturedOutput&) = delete;
    std::string text() const { return buffer_.str(); }

private:
    std::stringstream buffer_;
    std::streambuf* previous_;
};

}  // namespace testsupport
