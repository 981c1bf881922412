#pragma once

// Runs a check in a forked child whose address space may grow only by a given amount, so that a
// parse that allocates in proportion to the counts a file names, rather than to its size, fails
// the test instead of the machine. The sanitizer build cannot take an address-space limit; there
// the check runs unbounded.

#include <gtest/gtest.h>
#include <sys/resource.h>
#include <unistd.h>

#include <cstdint>
#include <cstdio>
#include <cstdlib>

#if defined(__SANITIZE_ADDRESS__)
#define PRAVIX_UNDER_ASAN 1
#elif defined(__has_feature)
#if __has_feature(address_sanitizer)
#define PRAVIX_UNDER_ASAN 1
#endif
#endif

namespace testsupport
{
/// The process's address space in bytes, from /proc.
inline std::uint64_t addressSpaceInUse()
{
    unsigned long pages = 0;
    if (FILE* statm = std::fopen("/proc/self/statm", "r"))
    {
        if (std::fscanf(statm, "%lu", &pages) != 1)
        {
            pages = 0;
        }
        std::fclose(statm);
    }
    return std::uint64_t(pages) * std::uint64_t(sysconf(_SC_PAGESIZE));
}

/// Child side: limits the growth of the address space, exits 0 only when the check returns true.
template <typename Check>
[[noreturn]] void runWithAddressSpaceGrowth(std::uint64_t growth, Check& check)
{
    const rlim_t limit = rlim_t(addressSpaceInUse() + growth);
    const rlimit rl{limit, limit};
    setrlimit(RLIMIT_AS, &rl);
    try
    {
        std::_Exit(check() ? 0 : 1);
    }
    catch (...)
    {
        std::_Exit(2);
    }
}

/// Expects the check to return true with at most `growth` more bytes of address space.
template <typename Check>
void expectWithinAddressSpaceGrowth(std::uint64_t growth, Check check)
{
#ifdef PRAVIX_UNDER_ASAN
    (void)growth;
    EXPECT_TRUE(check());
#else
    EXPECT_EXIT(runWithAddressSpaceGrowth(growth, check), testing::ExitedWithCode(0), "");
#endif
}
}  // namespace testsupport
