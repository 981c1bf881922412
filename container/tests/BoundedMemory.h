#pragma once

// Runs a parse that hostile counts would turn into a huge allocation, and expects it to be
// refused with std::runtime_error, or to be done without the allocation. In the normal build it runs in a forked child
// with a 1 GiB address-space limit, so an unbounded allocation fails the test instead of the machine; the sanitizer
// build cannot take an address-space limit and relies on its allocation cap.

#include <gtest/gtest.h>
#include <sys/resource.h>

#include <cstdlib>
#include <stdexcept>

#include "AddressSpaceLimit.h"

namespace testsupport
{
/// Child side: limits the address space, runs the parse and exits 0 only on std::runtime_error.
template <typename Parse>
[[noreturn]] void runRefusalUnderAddressLimit(Parse& parse)
{
    const rlim_t limit = rlim_t(1) << 30;
    const rlimit rl{limit, limit};
    setrlimit(RLIMIT_AS, &rl);
    try
    {
        parse();
    }
    catch (const std::runtime_error&)
    {
        std::_Exit(0);
    }
    catch (...)
    {
        std::_Exit(2);
    }
    std::_Exit(1);
}

/// Expects the check (a parse and look-ups that must not expand what the counts name) to
/// return true within 1 GiB more of address space.
template <typename Check>
void expectDoneInBoundedMemory(Check check)
{
    expectWithinAddressSpaceGrowth(std::uint64_t(1) << 30, check);
}

template <typename Parse>
void expectRefusedInBoundedMemory(Parse parse)
{
#ifdef PRAVIX_UNDER_ASAN
    EXPECT_THROW(parse(), std::runtime_error);
#else
    EXPECT_EXIT(runRefusalUnderAddressLimit(parse), testing::ExitedWithCode(0), "");
#endif
}
}  // namespace testsupport
