#include "HelperSandbox.h"

#include "AllocationWatch.h"
#include "DecoderProtocol.h"

#include <cerrno>
#include <csignal>
#include <cstddef>
#include <cstring>
#include <pthread.h>
#include <sched.h>
#include <sys/prctl.h>
#include <sys/resource.h>
#include <sys/syscall.h>
#include <unistd.h>
#include <vector>

#include <linux/audit.h>
#include <linux/capability.h>
#include <linux/filter.h>
#include <linux/seccomp.h>

namespace pravix
{
namespace helper
{
namespace
{

#if defined(__SANITIZE_ADDRESS__)
// AddressSanitizer reserves terabytes of shadow memory: no data limit can hold it.
constexpr bool kLimitsData = false;
#else
constexpr bool kLimitsData = true;
#endif

// Threads of the decoders (OpenJPEG's, the reduction's) get stacks of this size: their data counts
// against the memory limit whether touched or not.
constexpr size_t kThreadStack = size_t(2) << 20;
// The least private memory a decoder is left once its rows are placed.
constexpr uint64_t kLeastPrivateMemory = uint64_t(16) << 20;

uint64_t gMemoryBytes = 0;

// The reports a fatal signal sends, made before anything can go wrong.
std::vector<uint8_t> gCrashReport;
std::vector<uint8_t> gOutOfMemoryReport;
std::vector<uint8_t> gProcessorTimeReport;
alignas(16) char gSignalStack[64 * 1024];

void writeReport(const std::vector<uint8_t>& report)
{
    size_t done = 0;
    while (done < report.size())
    {
        const ssize_t n = ::write(kReportDescriptor, report.data() + done, report.size() - done);
        if (n <= 0 && errno != EINTR)
        {
            return;
        }
        done += n > 0 ? static_cast<size_t>(n) : 0;
    }
}

void onFatalSignal(int signal)
{
    // A crash right after an allocation was refused is the memory limit, whatever the library did next.
    writeReport(allocationRefused() ? gOutOfMemoryReport : gCrashReport);
    _exit(128 + signal);
}

void onProcessorTime(int)
{
    writeReport(gProcessorTimeReport);
    _exit(128 + SIGXCPU);
}

bool setLimit(int resource, rlim_t soft, rlim_t hard)
{
    const rlimit limit{soft, hard};
    return setrlimit(resource, &limit) == 0;
}

bool catchSignals()
{
    gCrashReport = failureMessage({FailureKind::Crashed, "the decoder crashed"});
    gOutOfMemoryReport = failureMessage({FailureKind::OutOfMemory, "out of memory"});
    gProcessorTimeReport = failureMessage({FailureKind::ProcessorTime, "out of processor time"});
    stack_t stack{};
    stack.ss_sp = gSignalStack;
    stack.ss_size = sizeof gSignalStack;
    if (sigaltstack(&stack, nullptr) != 0)
    {
        return false;
    }
    struct sigaction action
    {
    };
    sigemptyset(&action.sa_mask);
    action.sa_flags = SA_ONSTACK | SA_RESETHAND;
    action.sa_handler = onFatalSignal;
    for (int signal : {SIGSEGV, SIGBUS, SIGILL, SIGFPE, SIGABRT})
    {
        if (sigaction(signal, &action, nullptr) != 0)
        {
            return false;
        }
    }
    action.sa_handler = onProcessorTime;
    if (sigaction(SIGXCPU, &action, nullptr) != 0)
    {
        return false;
    }
    // A shared file grown past its limit fails the call instead of ending the process.
    action.sa_flags = 0;
    action.sa_handler = SIG_IGN;
    return sigaction(SIGXFSZ, &action, nullptr) == 0 && sigaction(SIGPIPE, &action, nullptr) == 0;
}

bool dropCapabilities()
{
    __user_cap_header_struct header{_LINUX_CAPABILITY_VERSION_3, 0};
    __user_cap_data_struct data[_LINUX_CAPABILITY_U32S_3] = {};
    // Without CAP_SYS_RESOURCE the limits can only ever be lowered, even by root.
    return syscall(SYS_capset, &header, data) == 0 && prctl(PR_SET_NO_NEW_PRIVS, 1, 0, 0, 0) == 0;
}

#if defined(__x86_64__)
constexpr uint32_t kArchitecture = AUDIT_ARCH_X86_64;
#elif defined(__aarch64__)
constexpr uint32_t kArchitecture = AUDIT_ARCH_AARCH64;
#else
constexpr uint32_t kArchitecture = 0;
#endif

// A seccomp filter program: allowed system calls, a few allowed on conditions, everything else failing
// with EPERM.
class SystemCallFilter
{
public:
    explicit SystemCallFilter(int self)
    {
        load(offsetof(seccomp_data, arch));
        jumpIf(kArchitecture, 1, 0);
        ret(SECCOMP_RET_KILL_PROCESS);
        load(offsetof(seccomp_data, nr));
#if defined(__x86_64__)
        // The x32 numbering of the same machine.
        mCode.push_back(BPF_JUMP(BPF_JMP | BPF_JGE | BPF_K, 0x40000000u, 0, 1));
        ret(SECCOMP_RET_KILL_PROCESS);
#endif
        for (long call : allowed())
        {
            jumpIf(static_cast<uint32_t>(call), 0, 1);
            ret(SECCOMP_RET_ALLOW);
        }
        // Threads, not processes.
        when(SYS_clone, 4);
        loadArgument(0, false);
        mCode.push_back(BPF_JUMP(BPF_JMP | BPF_JSET | BPF_K, CLONE_THREAD, 0, 1));
        ret(SECCOMP_RET_ALLOW);
        ret(SECCOMP_RET_ERRNO | EPERM);
#ifdef SYS_clone3
        // Its arguments lie in memory the filter cannot read: the C library falls back on clone.
        when(SYS_clone3, 1);
        ret(SECCOMP_RET_ERRNO | ENOSYS);
#endif
        // Its own limits, which without capabilities it can only lower.
        when(SYS_prlimit64, 6);
        loadArgument(0, false);
        jumpIf(0, 0, 3);
        loadArgument(0, true);
        jumpIf(0, 0, 1);
        ret(SECCOMP_RET_ALLOW);
        ret(SECCOMP_RET_ERRNO | EPERM);
        // Signals to itself (abort).
        when(SYS_tgkill, 4);
        loadArgument(0, false);
        jumpIf(static_cast<uint32_t>(self), 0, 1);
        ret(SECCOMP_RET_ALLOW);
        ret(SECCOMP_RET_ERRNO | EPERM);
        ret(SECCOMP_RET_ERRNO | EPERM);
    }

    bool install() const
    {
        sock_fprog program{static_cast<unsigned short>(mCode.size()), const_cast<sock_filter*>(mCode.data())};
        return prctl(PR_SET_SECCOMP, SECCOMP_MODE_FILTER, &program, 0, 0) == 0;
    }

private:
    static std::vector<long> allowed()
    {
        return {
            SYS_read, SYS_write, SYS_pread64, SYS_pwrite64, SYS_pwritev, SYS_readv, SYS_writev, SYS_lseek, SYS_close, SYS_fstat,
            SYS_newfstatat, SYS_fcntl, SYS_ftruncate, SYS_mmap, SYS_munmap, SYS_mremap, SYS_mprotect, SYS_madvise,
            SYS_brk, SYS_futex, SYS_set_robust_list, SYS_get_robust_list,
#ifdef SYS_rseq
            SYS_rseq,
#endif
            SYS_exit, SYS_exit_group, SYS_rt_sigaction, SYS_rt_sigprocmask, SYS_rt_sigreturn, SYS_sigaltstack,
            SYS_restart_syscall, SYS_gettid, SYS_getpid, SYS_getppid, SYS_sched_getaffinity, SYS_sched_yield,
            SYS_clock_gettime, SYS_clock_getres, SYS_clock_nanosleep, SYS_nanosleep, SYS_gettimeofday,
            SYS_getrusage, SYS_sysinfo, SYS_getrandom, SYS_getrlimit,
#if defined(PRAVIX_SANITIZED)
            // The sanitizers' runtime tells readable memory by writing it into a pipe of its own, and
            // names the program in its reports.
            SYS_pipe2, SYS_readlinkat,
#if defined(SYS_pipe)
            SYS_pipe, SYS_readlink,
#endif
#endif
        };
    }

    void load(uint32_t offset) { mCode.push_back(BPF_STMT(BPF_LD | BPF_W | BPF_ABS, offset)); }
    void loadArgument(int index, bool high)
    {
        load(static_cast<uint32_t>(offsetof(seccomp_data, args) + 8 * index + (high ? 4 : 0)));
    }
    void jumpIf(uint32_t value, uint8_t yes, uint8_t no)
    {
        mCode.push_back(BPF_JUMP(BPF_JMP | BPF_JEQ | BPF_K, value, yes, no));
    }
    void ret(uint32_t action) { mCode.push_back(BPF_STMT(BPF_RET | BPF_K, action)); }
    // The next `length` instructions run for this call only; they end in a return, and the system call
    // number is still loaded for whatever comes after them.
    void when(long call, uint8_t length) { jumpIf(static_cast<uint32_t>(call), 0, length); }

    std::vector<sock_filter> mCode;
};

}  // namespace

bool filtersSystemCalls()
{
    return kArchitecture != 0;
}

bool enterSandbox(const SandboxLimits& limits, std::string& why)
{
    gMemoryBytes = limits.memoryBytes;
    if (prctl(PR_SET_PDEATHSIG, SIGKILL, 0, 0, 0) != 0 || getppid() != limits.parent)
    {
        why = "the program has gone";
        return false;
    }
    if (!catchSignals())
    {
        why = "signals cannot be caught";
        return false;
    }
    const rlim_t cpu = limits.cpuSeconds;
    // The shared file may hold no more than the whole allowance until the rows' size is known.
    if (!setLimit(RLIMIT_CORE, 0, 0) || !setLimit(RLIMIT_CPU, cpu, cpu + 1) ||
        !setLimit(RLIMIT_FSIZE, limits.memoryBytes, limits.memoryBytes) ||
        (kLimitsData && !setLimit(RLIMIT_DATA, limits.memoryBytes, limits.memoryBytes)))
    {
        why = std::string("limits cannot be set: ") + std::strerror(errno);
        return false;
    }
    pthread_attr_t attributes;
    if (pthread_attr_init(&attributes) != 0 || pthread_attr_setstacksize(&attributes, kThreadStack) != 0 ||
        pthread_setattr_default_np(&attributes) != 0)
    {
        why = "thread stacks cannot be set";
        return false;
    }
    pthread_attr_destroy(&attributes);
    if (!dropCapabilities())
    {
        why = std::string("capabilities cannot be dropped: ") + std::strerror(errno);
        return false;
    }
    if (filtersSystemCalls() && !SystemCallFilter(getpid()).install())
    {
        why = std::string("the system call filter cannot be installed: ") + std::strerror(errno);
        return false;
    }
    return true;
}

bool reserveForRows(uint64_t bytes)
{
    if (bytes > gMemoryBytes || gMemoryBytes - bytes < kLeastPrivateMemory)
    {
        return false;
    }
    const uint64_t shared = (bytes + 4095) / 4096 * 4096;
    return setLimit(RLIMIT_FSIZE, shared, shared) &&
           (!kLimitsData || setLimit(RLIMIT_DATA, gMemoryBytes - bytes, gMemoryBytes - bytes));
}

}  // namespace helper
}  // namespace pravix
