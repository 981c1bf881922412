#include "HelperSandbox.h"

#include <gtest/gtest.h>

#include <cerrno>
#include <fcntl.h>
#include <sys/resource.h>
#include <sys/socket.h>
#include <sys/wait.h>
#include <thread>
#include <unistd.h>

using namespace pravix::helper;

namespace
{

// Runs `check` in a child process that has entered the sandbox; what the child's exit status is.
template <typename Check>
int inSandbox(const SandboxLimits& limits, Check check)
{
    const pid_t child = fork();
    if (child == 0)
    {
        SandboxLimits own = limits;
        own.parent = getppid();
        std::string why;
        if (!enterSandbox(own, why))
        {
            _exit(100);
        }
        _exit(check());
    }
    int status = 0;
    waitpid(child, &status, 0);
    return status;
}

}  // namespace

// Inside, the helper reads and writes what it was given and runs threads; it opens no file, makes no
// socket, starts no process, and cannot raise its own limits again.
TEST(HelperSandboxTest, LetsThreadsRunAndNothingElseOut)
{
    const int status = inSandbox({uint64_t(256) << 20, 5, 0},
                                 []
                                 {
                                     int failed = 0;
                                     if (open("/etc/hostname", O_RDONLY) >= 0 || errno != EPERM)
                                     {
                                         failed |= 1;
                                     }
                                     if (socket(AF_UNIX, SOCK_STREAM, 0) >= 0)
                                     {
                                         failed |= 2;
                                     }
                                     if (fork() >= 0)
                                     {
                                         failed |= 4;
                                     }
                                     bool ran = false;
                                     std::thread([&] { ran = true; }).join();
                                     if (!ran)
                                     {
                                         failed |= 8;
                                     }
                                     rlimit cpu{};
                                     getrlimit(RLIMIT_CPU, &cpu);
                                     if (cpu.rlim_cur != 5)
                                     {
                                         failed |= 16;
                                     }
                                     const rlimit more{cpu.rlim_max + 10, cpu.rlim_max + 10};
                                     if (setrlimit(RLIMIT_CPU, &more) == 0)
                                     {
                                         failed |= 32;
                                     }
                                     rlimit core{};
                                     getrlimit(RLIMIT_CORE, &core);
                                     if (core.rlim_max != 0)
                                     {
                                         failed |= 64;
                                     }
                                     return failed;
                                 });
    ASSERT_TRUE(WIFEXITED(status));
    EXPECT_EQ(WEXITSTATUS(status), 0);
}

// The memory the helper is given bounds what it can allocate, and rows put aside for the shared file
// come off its private share.
TEST(HelperSandboxTest, MemoryIsBoundedAndRowsComeOffIt)
{
#if defined(__SANITIZE_ADDRESS__)
    GTEST_SKIP() << "AddressSanitizer's shadow memory cannot be held by a data limit";
#else
    const int status = inSandbox({uint64_t(96) << 20, 5, 0},
                                 []
                                 {
                                     int failed = 0;
                                     if (malloc(size_t(128) << 20) != nullptr)
                                     {
                                         failed |= 1;
                                     }
                                     void* fits = malloc(size_t(48) << 20);
                                     if (fits == nullptr)
                                     {
                                         failed |= 2;
                                     }
                                     free(fits);
                                     if (!reserveForRows(uint64_t(60) << 20))
                                     {
                                         failed |= 4;
                                     }
                                     if (malloc(size_t(48) << 20) != nullptr)
                                     {
                                         failed |= 8;
                                     }
                                     if (reserveForRows(uint64_t(90) << 20))
                                     {
                                         failed |= 16;
                                     }
                                     return failed;
                                 });
    ASSERT_TRUE(WIFEXITED(status));
    EXPECT_EQ(WEXITSTATUS(status), 0);
#endif
}
