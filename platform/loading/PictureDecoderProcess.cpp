#include "PictureDecoderProcess.h"

#include "DecoderProtocol.h"
#include "ParallelFor.h"

#include <cerrno>
#include <climits>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fcntl.h>
#include <mutex>
#include <poll.h>
#include <spawn.h>
#include <sys/mman.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <sys/syscall.h>
#include <sys/wait.h>
#include <unistd.h>
#include <vector>

extern char** environ;

namespace pravix
{
namespace
{

using Clock = std::chrono::steady_clock;

std::mutex gSettingsLock;
std::string gProgramPath;
PictureDecoderLimits gLimits;
std::function<void(const PictureDecoderRun&)> gObserver;

// A descriptor closed when it goes.
class Descriptor
{
public:
    explicit Descriptor(int fd = -1) : mFd(fd) {}
    Descriptor(const Descriptor&) = delete;
    Descriptor& operator=(const Descriptor&) = delete;
    Descriptor(Descriptor&& other) noexcept : mFd(other.release()) {}
    ~Descriptor() { reset(); }
    int get() const { return mFd; }
    int release()
    {
        const int fd = mFd;
        mFd = -1;
        return fd;
    }
    void reset(int fd = -1)
    {
        if (mFd >= 0)
        {
            ::close(mFd);
        }
        mFd = fd;
    }

private:
    int mFd;
};

// A copy of `fd` numbered above the descriptors the helper is given, so that placing it there never
// meets one of them.
Descriptor highCopy(int fd)
{
    return Descriptor(fd < 0 ? -1 : fcntl(fd, F_DUPFD_CLOEXEC, 10));
}

bool isProgram(const std::string& path)
{
    struct stat info;
    return !path.empty() && stat(path.c_str(), &info) == 0 && S_ISREG(info.st_mode) && access(path.c_str(), X_OK) == 0;
}

std::string ownFolder()
{
    std::vector<char> buffer(PATH_MAX + 1);
    const ssize_t n = readlink("/proc/self/exe", buffer.data(), PATH_MAX);
    if (n <= 0)
    {
        return {};
    }
    const std::string self(buffer.data(), static_cast<size_t>(n));
    const size_t slash = self.rfind('/');
    return slash == std::string::npos ? std::string() : self.substr(0, slash);
}

std::string foundProgram()
{
    const std::string folder = ownFolder();
    if (folder.empty())
    {
        return {};
    }
    const std::string installed = folder + "/" + PRAVIX_HELPER_FROM_PROGRAM;
    if (isProgram(installed))
    {
        return installed;
    }
    // The build tree's helper, only for programs of the build tree: an installed program never runs a
    // file from where it was once built.
    const std::string buildTree = PRAVIX_BUILD_TREE;
    if ((folder + "/").compare(0, buildTree.size() + 1, buildTree + "/") == 0 && isProgram(PRAVIX_HELPER_IN_BUILD_TREE))
    {
        return PRAVIX_HELPER_IN_BUILD_TREE;
    }
    return {};
}

// The environment the helper runs in: none of the program's, but the sanitizers' settings of a
// sanitized build (leak checking off: it needs to stop the process's threads, which the filter refuses).
std::vector<std::string> helperEnvironment()
{
    std::vector<std::string> environment;
    for (const char* name : {"ASAN_OPTIONS", "UBSAN_OPTIONS"})
    {
        const char* value = std::getenv(name);
        if (value != nullptr)
        {
            std::string setting = std::string(name) + "=" + value;
            if (std::strcmp(name, "ASAN_OPTIONS") == 0)
            {
                setting += ":detect_leaks=0";
            }
            environment.push_back(setting);
        }
    }
    return environment;
}

// What a helper may take of the memory the program and it together may: what the program does not hold
// now, less a margin for the libraries' pages that count in the helper's resident size besides its limit;
// at least half of it, so that a program grown large still lets small pictures through.
uint64_t helperShare(uint64_t together)
{
    constexpr uint64_t kMargin = uint64_t(32) << 20;
    uint64_t resident = 0;
    if (FILE* statm = std::fopen("/proc/self/statm", "r"))
    {
        unsigned long size = 0;
        unsigned long pages = 0;
        if (std::fscanf(statm, "%lu %lu", &size, &pages) == 2)
        {
            resident = uint64_t(pages) * uint64_t(sysconf(_SC_PAGESIZE));
        }
        std::fclose(statm);
    }
    const uint64_t left = together > resident + kMargin ? together - resident - kMargin : 0;
    return std::max(left, together / 2);
}

std::string megabytes(uint64_t bytes)
{
    return std::to_string(bytes / 1000000);
}

std::string seconds(std::chrono::milliseconds time)
{
    const long long ms = time.count();
    return ms % 1000 == 0 ? std::to_string(ms / 1000) : std::to_string(ms / 1000) + "." + std::to_string(ms % 1000);
}

// What one started helper has said, and how it ended.
struct Outcome
{
    std::optional<PictureHeader> header;
    std::optional<helper::PictureSize> picture;
    std::optional<helper::Failure> failure;
    bool garbled = false;  // messages that do not add up
    bool timedOut = false;
    int status = 0;
    rusage usage{};
};

void readMessages(helper::MessageReader& reader, Outcome& outcome)
{
    while (std::optional<helper::MessageReader::Message> m = reader.next())
    {
        switch (m->kind)
        {
        case helper::MessageKind::Header:
            if (outcome.header || !(outcome.header = helper::headerOf(m->payload)))
            {
                outcome.garbled = true;
            }
            break;
        case helper::MessageKind::Picture:
            if (!outcome.header || outcome.picture || !(outcome.picture = helper::pictureSizeOf(m->payload)))
            {
                outcome.garbled = true;
            }
            break;
        case helper::MessageKind::Failure:
            if (outcome.failure || !(outcome.failure = helper::failureOf(m->payload)))
            {
                outcome.garbled = true;
            }
            break;
        case helper::MessageKind::Decode:
            outcome.garbled = true;  // the program's word, not the helper's
            break;
        }
    }
    outcome.garbled = outcome.garbled || reader.broken();
}

bool hasEnded(pid_t pid)
{
    siginfo_t info{};
    return waitid(P_PID, static_cast<id_t>(pid), &info, WEXITED | WNOHANG | WNOWAIT) == 0 && info.si_pid == pid;
}

// Writes to the command pipe without the signal a write to a pipe whose reader has gone raises, which
// would end the program: blocked while writing, and taken back if it came.
bool writeCommand(int commands, const std::vector<uint8_t>& message)
{
    sigset_t pipeSignal;
    sigset_t before;
    sigemptyset(&pipeSignal);
    sigaddset(&pipeSignal, SIGPIPE);
    pthread_sigmask(SIG_BLOCK, &pipeSignal, &before);
    size_t done = 0;
    bool written = true;
    while (done < message.size())
    {
        const ssize_t n = ::write(commands, message.data() + done, message.size() - done);
        if (n < 0 && errno == EINTR)
        {
            continue;
        }
        if (n <= 0)
        {
            written = false;
            break;
        }
        done += static_cast<size_t>(n);
    }
    if (!written && errno == EPIPE)
    {
        const timespec now{0, 0};
        sigtimedwait(&pipeSignal, nullptr, &now);
    }
    pthread_sigmask(SIG_SETMASK, &before, nullptr);
    return written;
}

// The decoded rows in the shared file, mapped as the bitmap's pixels.
std::optional<Bitmap> mapRows(Descriptor& rows, const helper::PictureSize& size, std::string& whyNot)
{
    if (!bitmapSizeAllowed(size.width, size.height))
    {
        whyNot = "the decoder handed back a picture of impossible size";
        return std::nullopt;
    }
    const size_t bytes = static_cast<size_t>(size.width) * size.height * size.channels;
    struct stat info;
    if (fstat(rows.get(), &info) != 0 || info.st_size < 0 || static_cast<uint64_t>(info.st_size) < bytes)
    {
        whyNot = "the decoder handed back fewer rows than it promised";
        return std::nullopt;
    }
    const size_t mapped = (bytes + 4095) / 4096 * 4096;
    void* memory = mmap(nullptr, std::min<size_t>(mapped, static_cast<size_t>(info.st_size)), PROT_READ | PROT_WRITE,
                        MAP_SHARED, rows.get(), 0);
    if (memory == MAP_FAILED)
    {
        whyNot = "out of memory";
        return std::nullopt;
    }
    const size_t length = std::min<size_t>(mapped, static_cast<size_t>(info.st_size));
    Bitmap picture;
    picture.width = size.width;
    picture.height = size.height;
    picture.channels = size.channels;
    picture.pixels = PixelBuffer::adopt(static_cast<uint8_t*>(memory), bytes,
                                        [length](uint8_t* pixels, size_t) { munmap(pixels, length); });
    return picture;
}

// Whether the size the helper handed back is one the request can give for the header.
bool fitsRequest(const helper::PictureSize& size, const PictureHeader& header, const DecodeRequest& request)
{
    const uint32_t longerStored = std::max(header.width, header.height);
    const uint32_t longer = std::max(size.width, size.height);
    const uint32_t shorter = std::min(size.width, size.height);
    return longer <= longerStored && shorter <= std::min(header.width, header.height) &&
           (request.maxPixelSize == 0 || longer <= request.maxPixelSize) && (size.channels == 3 || request.keepAlpha);
}

std::string whyFailed(const Outcome& outcome, const PictureDecoderLimits& limits)
{
    const std::string memory = "needs more than " + megabytes(limits.memoryBytes) + " MB to decode";
    const std::string time = "took longer than " + seconds(limits.deadline) + " s";
    const std::string processor = "took more than " + std::to_string(limits.cpuSeconds) + " s of processor time";
    if (outcome.timedOut)
    {
        return time;
    }
    if (outcome.failure)
    {
        switch (outcome.failure->kind)
        {
        case helper::FailureKind::OutOfMemory:
            return memory;
        case helper::FailureKind::ProcessorTime:
            return processor;
        case helper::FailureKind::Crashed:
            return outcome.failure->text;
        case helper::FailureKind::Undecodable:
            return outcome.failure->text.empty() ? "cannot be decoded" : outcome.failure->text;
        }
    }
    if (outcome.garbled)
    {
        return "the decoder's report does not add up";
    }
    if (WIFSIGNALED(outcome.status))
    {
        const int signal = WTERMSIG(outcome.status);
        if (signal == SIGXCPU || signal == SIGKILL)
        {
            // The processor-time limit's last word, or the system's memory killer.
            return signal == SIGXCPU ? processor : "the decoder was killed";
        }
        return "the decoder crashed (signal " + std::to_string(signal) + ")";
    }
    return "the decoder gave no picture";
}

}  // namespace

struct PictureDecoderProcess::Helper
{
    pid_t pid = 0;
    Descriptor reports;
    Descriptor commands;
    Descriptor rows;
    Descriptor ended;  // the process's descriptor, readable once it has ended (none on older kernels)
    helper::MessageReader reader;
    Outcome outcome;
    bool reportsOpen = true;
    bool exited = false;
    bool collected = false;
    Clock::time_point started;
    PictureDecoderLimits bounds;

    // Adds what the report pipe holds; at its end or once the reports stop adding up, stops reading it.
    void readReports()
    {
        uint8_t buffer[64 * 1024];
        const ssize_t n = ::read(reports.get(), buffer, sizeof buffer);
        if (n < 0 && errno == EINTR)
        {
            return;
        }
        if (n <= 0 || !reader.add(buffer, static_cast<size_t>(n)))
        {
            outcome.garbled = outcome.garbled || reader.broken();
            reportsOpen = false;
            return;
        }
        readMessages(reader, outcome);
    }

    // Reads reports until `enough` holds, the helper has failed or ended, or the deadline has passed.
    template <typename Enough>
    void listen(Clock::time_point deadline, Enough enough)
    {
        while (!exited && !outcome.garbled && !outcome.failure && !enough())
        {
            const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(deadline - Clock::now());
            if (left.count() <= 0)
            {
                outcome.timedOut = true;
                return;
            }
            pollfd watched[2] = {{ended.get(), POLLIN, 0}, {reports.get(), POLLIN, 0}};
            // Without a process descriptor its end is looked for every few milliseconds.
            const int wait = ended.get() >= 0 ? static_cast<int>(left.count())
                                              : static_cast<int>(std::min<long>(5, left.count()));
            if (poll(watched, reportsOpen ? 2 : 1, wait) < 0 && errno != EINTR)
            {
                return;
            }
            if (reportsOpen && (watched[1].revents & (POLLIN | POLLHUP | POLLERR)) != 0)
            {
                readReports();
            }
            exited = hasEnded(pid);
        }
        // What it wrote before it ended; the pipe has no writer left, so it ends.
        while (exited && reportsOpen)
        {
            readReports();
        }
    }

    // Ends it when it has not ended, takes its exit, and tells the observer.
    void collect()
    {
        if (collected)
        {
            return;
        }
        collected = true;
        if (!exited)
        {
            kill(pid, SIGKILL);
        }
        while (wait4(pid, &outcome.status, 0, &outcome.usage) < 0 && errno == EINTR)
        {
        }
        exited = true;
        outcome.garbled = outcome.garbled || reader.pending();
        std::function<void(const PictureDecoderRun&)> observer;
        {
            std::lock_guard<std::mutex> lock(gSettingsLock);
            observer = gObserver;
        }
        if (observer)
        {
            PictureDecoderRun run;
            run.peakKilobytes = outcome.usage.ru_maxrss > 0 ? static_cast<uint64_t>(outcome.usage.ru_maxrss) : 0;
            run.processorSeconds = double(outcome.usage.ru_utime.tv_sec + outcome.usage.ru_stime.tv_sec) +
                                   double(outcome.usage.ru_utime.tv_usec + outcome.usage.ru_stime.tv_usec) / 1e6;
            run.wallSeconds = std::chrono::duration<double>(Clock::now() - started).count();
            run.succeeded = WIFEXITED(outcome.status) && WEXITSTATUS(outcome.status) == 0 && !outcome.failure &&
                            !outcome.garbled && !outcome.timedOut;
            observer(run);
        }
    }

    bool endedCleanly() const
    {
        return WIFEXITED(outcome.status) && WEXITSTATUS(outcome.status) == 0 && !outcome.timedOut &&
               !outcome.garbled && !outcome.failure;
    }
};

void PictureDecoderProcess::setProgramPath(const std::string& path)
{
    std::lock_guard<std::mutex> lock(gSettingsLock);
    gProgramPath = path;
}

std::string PictureDecoderProcess::programPath()
{
    {
        std::lock_guard<std::mutex> lock(gSettingsLock);
        if (!gProgramPath.empty())
        {
            return isProgram(gProgramPath) ? gProgramPath : std::string();
        }
    }
    return foundProgram();
}

void PictureDecoderProcess::setLimits(const PictureDecoderLimits& limits)
{
    std::lock_guard<std::mutex> lock(gSettingsLock);
    gLimits = limits;
}

PictureDecoderLimits PictureDecoderProcess::limits()
{
    std::lock_guard<std::mutex> lock(gSettingsLock);
    return gLimits;
}

void PictureDecoderProcess::setObserver(std::function<void(const PictureDecoderRun&)> observer)
{
    std::lock_guard<std::mutex> lock(gSettingsLock);
    gObserver = std::move(observer);
}

PictureDecoderProcess::PictureDecoderProcess(std::unique_ptr<Helper> helper) : mHelper(std::move(helper)) {}

PictureDecoderProcess::~PictureDecoderProcess()
{
    if (!mHelper->collected)
    {
        // Nothing to decode: at the end of its command pipe it ends, or is ended.
        mHelper->commands.reset();
        mHelper->listen(Clock::now() + std::chrono::milliseconds(1000), [] { return false; });
        mHelper->collect();
    }
}

PictureHeader& PictureDecoderProcess::header()
{
    return *mHelper->outcome.header;
}

std::unique_ptr<PictureDecoderProcess> PictureDecoderProcess::start(int file, PictureFormat format,
                                                                    std::string& whyNot)
{
    const std::string program = programPath();
    auto helper = std::make_unique<Helper>();
    helper->bounds = limits();
    if (program.empty())
    {
        whyNot = "the picture decoder (pravix-picture-decoder) cannot be found";
        return nullptr;
    }
    int reportEnds[2];
    int commandEnds[2];
    if (pipe2(reportEnds, O_CLOEXEC) != 0)
    {
        whyNot = std::string("the picture decoder cannot be started: ") + std::strerror(errno);
        return nullptr;
    }
    helper->reports.reset(reportEnds[0]);
    Descriptor reportEnd(reportEnds[1]);
    if (pipe2(commandEnds, O_CLOEXEC) != 0)
    {
        whyNot = std::string("the picture decoder cannot be started: ") + std::strerror(errno);
        return nullptr;
    }
    Descriptor commandEnd(commandEnds[0]);
    helper->commands.reset(commandEnds[1]);
    helper->rows.reset(memfd_create("pravix-rows", MFD_CLOEXEC));
    Descriptor picture = highCopy(file);
    Descriptor reportCopy = highCopy(reportEnd.get());
    Descriptor commandCopy = highCopy(commandEnd.get());
    Descriptor rowsCopy = highCopy(helper->rows.get());
    reportEnd.reset();
    commandEnd.reset();
    if (picture.get() < 0 || reportCopy.get() < 0 || commandCopy.get() < 0 || rowsCopy.get() < 0)
    {
        whyNot = std::string("the picture decoder cannot be started: ") + std::strerror(errno);
        return nullptr;
    }

    helper::Request asked;
    asked.format = format;
    asked.memoryBytes = helperShare(helper->bounds.memoryBytes);
    asked.cpuSeconds = helper->bounds.cpuSeconds;
    asked.threads = workerCount();
    asked.parent = getpid();
    std::vector<std::string> arguments = helper::argumentsOf(asked);
    arguments.insert(arguments.begin(), program);
    std::vector<char*> argv;
    for (std::string& a : arguments)
    {
        argv.push_back(a.data());
    }
    argv.push_back(nullptr);
    std::vector<std::string> environment = helperEnvironment();
    std::vector<char*> envp;
    for (std::string& e : environment)
    {
        envp.push_back(e.data());
    }
    envp.push_back(nullptr);

    posix_spawn_file_actions_t actions;
    posix_spawnattr_t attributes;
    posix_spawn_file_actions_init(&actions);
    posix_spawnattr_init(&attributes);
    posix_spawn_file_actions_adddup2(&actions, commandCopy.get(), helper::kCommandDescriptor);
    posix_spawn_file_actions_addopen(&actions, 1, "/dev/null", O_WRONLY, 0);
    posix_spawn_file_actions_adddup2(&actions, picture.get(), helper::kPictureDescriptor);
    posix_spawn_file_actions_adddup2(&actions, reportCopy.get(), helper::kReportDescriptor);
    posix_spawn_file_actions_adddup2(&actions, rowsCopy.get(), helper::kRowsDescriptor);
    // Nothing else of the program's: its windows' sockets, its files.
    posix_spawn_file_actions_addclosefrom_np(&actions, helper::kRowsDescriptor + 1);
    sigset_t none;
    sigset_t all;
    sigemptyset(&none);
    sigfillset(&all);
    posix_spawnattr_setsigmask(&attributes, &none);
    posix_spawnattr_setsigdefault(&attributes, &all);
    posix_spawnattr_setflags(&attributes, POSIX_SPAWN_SETSIGMASK | POSIX_SPAWN_SETSIGDEF);
    helper->started = Clock::now();
    const int spawned =
        posix_spawn(&helper->pid, program.c_str(), &actions, &attributes, argv.data(), envp.data());
    posix_spawn_file_actions_destroy(&actions);
    posix_spawnattr_destroy(&attributes);
    // The helper's ends are the helper's alone: a report pipe still open here would never end.
    picture.reset();
    reportCopy.reset();
    commandCopy.reset();
    rowsCopy.reset();
    if (spawned != 0)
    {
        whyNot = "the picture decoder cannot be started: " + std::string(std::strerror(spawned));
        return nullptr;
    }
    helper->ended.reset(static_cast<int>(syscall(SYS_pidfd_open, helper->pid, 0)));

    Helper& h = *helper;
    h.listen(h.started + h.bounds.deadline, [&h] { return h.outcome.header.has_value(); });
    if (!h.outcome.header || h.outcome.garbled || h.outcome.failure || h.outcome.timedOut)
    {
        h.collect();
        whyNot = whyFailed(h.outcome, h.bounds);
        return nullptr;
    }
    return std::unique_ptr<PictureDecoderProcess>(new PictureDecoderProcess(std::move(helper)));
}

std::optional<Bitmap> PictureDecoderProcess::decode(const DecodeRequest& request, std::string& whyNot)
{
    Helper& h = *mHelper;
    if (h.collected)
    {
        whyNot = "the decoder gave no picture";
        return std::nullopt;
    }
    const Clock::time_point deadline = Clock::now() + h.bounds.deadline;
    writeCommand(h.commands.get(), helper::decodeMessage(request));
    h.commands.reset();
    // The picture, then its end.
    h.listen(deadline, [&h] { return h.outcome.picture.has_value(); });
    h.listen(deadline, [] { return false; });
    h.collect();
    if (!h.endedCleanly() || !h.outcome.picture)
    {
        whyNot = whyFailed(h.outcome, h.bounds);
        return std::nullopt;
    }
    if (!fitsRequest(*h.outcome.picture, *h.outcome.header, request))
    {
        whyNot = "the decoder handed back a picture other than asked";
        return std::nullopt;
    }
    return mapRows(h.rows, *h.outcome.picture, whyNot);
}

PictureDecoderProcess::Result PictureDecoderProcess::run(int file, PictureFormat format, bool decode,
                                                         const DecodeRequest& request)
{
    Result result;
    std::unique_ptr<PictureDecoderProcess> helper = start(file, format, result.whyNot);
    if (!helper)
    {
        return result;
    }
    if (decode)
    {
        result.picture = helper->decode(request, result.whyNot);
    }
    result.header = std::move(helper->header());
    return result;
}

}  // namespace pravix
