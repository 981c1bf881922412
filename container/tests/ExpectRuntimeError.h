#pragma once

// Expects an action to throw std::runtime_error with exactly the given message.

#include <gtest/gtest.h>

#include <stdexcept>
#include <string>

namespace testsupport
{
template <typename Fn>
void expectRuntimeError(Fn fn, const std::string& message)
{
    try
    {
        fn();
        ADD_FAILURE() << "expected std::runtime_error \"" << message << "\"";
    }
    catch (const std::runtime_error& e)
    {
        EXPECT_EQ(std::string(e.what()), message);
    }
}
}  // namespace testsupport
