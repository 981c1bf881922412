// Times the conversion of one entry against heif-convert on the same files, in the same run.
//
//   convert_bench [--runs N] [--types JPG,PNG,...] [--peer heif-convert | --no-peer] FILE...
//
// Every measurement is a fresh process (this program re-run with --one, or the peer), so wall time, CPU
// time (user + system) and peak resident memory are each the process's own. Ours and the peer alternate
// run by run; the medians are printed. "stage1" is the HEIC decode with orientation plus a JPEG encode at
// quality 70 alone; "JPG" etc. are the whole conversion of one entry (quality 70, scale 100 %); "open"
// is opening the file as an image source and reading its properties.
#include "ConvertEntry.h"
#include "HeicImageSource.h"
#include "ImageCodecs.h"
#include "SafeHEICLoader.h"

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fcntl.h>
#include <filesystem>
#include <sstream>
#include <string>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>
#include <vector>

namespace fs = std::filesystem;
using namespace pravix;

namespace
{

struct Sample
{
    double wall = 0;
    double cpu = 0;
    double peakMb = 0;
    bool ok = false;
};

Sample runProcess(const std::vector<std::string>& args)
{
    std::vector<char*> argv;
    for (const std::string& a : args)
    {
        argv.push_back(const_cast<char*>(a.c_str()));
    }
    argv.push_back(nullptr);
    const auto start = std::chrono::steady_clock::now();
    const pid_t pid = fork();
    if (pid == 0)
    {
        const int devnull = open("/dev/null", O_WRONLY);
        dup2(devnull, 1);
        dup2(devnull, 2);
        execvp(argv[0], argv.data());
        _exit(127);
    }
    int status = 0;
    rusage usage{};
    wait4(pid, &status, 0, &usage);
    Sample s;
    s.wall = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
    s.cpu = usage.ru_utime.tv_sec + usage.ru_utime.tv_usec / 1e6 + usage.ru_stime.tv_sec + usage.ru_stime.tv_usec / 1e6;
    s.peakMb = usage.ru_maxrss / 1024.0;
    s.ok = WIFEXITED(status) && WEXITSTATUS(status) == 0;
    return s;
}

double median(std::vector<double> v)
{
    if (v.empty())
    {
        return 0;
    }
    std::sort(v.begin(), v.end());
    const size_t n = v.size();
    return n % 2 == 1 ? v[n / 2] : (v[n / 2 - 1] + v[n / 2]) / 2;
}

struct Summary
{
    double wall, cpu, peakMb;
    int failures;
};

Summary summarise(const std::vector<Sample>& samples)
{
    std::vector<double> wall, cpu, peak;
    int failures = 0;
    for (const Sample& s : samples)
    {
        if (!s.ok)
        {
            ++failures;
            continue;
        }
        wall.push_back(s.wall);
        cpu.push_back(s.cpu);
        peak.push_back(s.peakMb);
    }
    return Summary{median(wall), median(cpu), median(peak), failures};
}

// The measured work inside the child process.
int runOne(const std::string& what, const std::string& file, const std::string& outDir)
{
    if (what == "open")
    {
        std::unique_ptr<HeicImageSource> source = HeicImageSource::createWithFile(file);
        return source && source->count() == 1 && source->propertiesAtIndex(0) ? 0 : 1;
    }
    if (what == "stage1")
    {
        std::optional<Bitmap> image = SafeHEICLoader::loadHEICWithImageIOFromPath(file);
        if (!image)
        {
            return 1;
        }
        EncodeProperties props;
        props.compressionFactor = 0.7f;
        return encodeImage(*image, ImageFileType::Jpeg, props).empty() ? 1 : 0;
    }
    EntryPaths entry{file, fs::path(file).parent_path().string(), "bench"};
    ConversionOptions options;
    options.saveSuff = what;
    options.nQuality = 70;
    options.imageZooming = 1.0f;
    options.savePath = outDir;
    options.cachePath = outDir + "/cache";
    const EntryOutcome outcome = convertEntry(entry, options, ExifHooks{});
    if (outcome.converted)
    {
        fs::remove(outcome.toPath);
    }
    return outcome.converted ? 0 : 1;
}

std::string peerOutput(const std::string& what, const std::string& outDir)
{
    if (what == "JPG" || what == "stage1")
    {
        return outDir + "/peer.jpg";
    }
    if (what == "PNG")
    {
        return outDir + "/peer.png";
    }
    return {};
}

}  // namespace

int main(int argc, char** argv)
{
    if (argc == 5 && std::strcmp(argv[1], "--one") == 0)
    {
        return runOne(argv[2], argv[3], argv[4]);
    }
    int runs = 5;
    std::vector<std::string> types = {"stage1", "JPG"};
    std::string peer = "heif-convert";
    std::vector<std::string> files;
    for (int i = 1; i < argc; ++i)
    {
        const std::string a = argv[i];
        if (a == "--runs" && i + 1 < argc)
        {
            runs = std::max(1, std::atoi(argv[++i]));
        }
        else if (a == "--types" && i + 1 < argc)
        {
            types.clear();
            std::stringstream list(argv[++i]);
            for (std::string t; std::getline(list, t, ',');)
            {
                types.push_back(t);
            }
        }
        else if (a == "--peer" && i + 1 < argc)
        {
            peer = argv[++i];
        }
        else if (a == "--no-peer")
        {
            peer.clear();
        }
        else
        {
            files.push_back(a);
        }
    }
    if (files.empty())
    {
        std::fprintf(stderr,
                     "usage: %s [--runs N] [--types open,stage1,JPG,PNG,BMP,TIFF,JPEG] [--peer heif-convert | "
                     "--no-peer] FILE...\n",
                     argv[0]);
        return 2;
    }
    char dirTemplate[] = "/tmp/pravix-bench-XXXXXX";
    if (mkdtemp(dirTemplate) == nullptr)
    {
        return 1;
    }
    const std::string outDir = dirTemplate;
    const std::string self = fs::canonical("/proc/self/exe").string();
    std::printf("%-34s %-6s | %8s %8s %8s | %8s %8s %8s | %6s %6s\n", "file", "type", "wall s", "cpu s", "peak MB",
                "peer s", "peer cpu", "peer MB", "wall x", "mem x");
    for (const std::string& file : files)
    {
        for (const std::string& what : types)
        {
            std::vector<Sample> ours;
            std::vector<Sample> theirs;
            const std::string peerOut = peer.empty() ? std::string() : peerOutput(what, outDir);
            for (int r = 0; r < runs; ++r)
            {
                ours.push_back(runProcess({self, "--one", what, file, outDir}));
                if (!peerOut.empty())
                {
                    theirs.push_back(runProcess({peer, "-q", "70", file, peerOut}));
                }
            }
            const Summary o = summarise(ours);
            const std::string name = fs::path(file).filename().string();
            if (peerOut.empty())
            {
                std::printf("%-34s %-6s | %8.3f %8.3f %8.1f | %8s %8s %8s | %6s %6s%s\n", name.c_str(), what.c_str(),
                            o.wall, o.cpu, o.peakMb, "-", "-", "-", "-", "-", o.failures ? "  (failures)" : "");
                continue;
            }
            const Summary t = summarise(theirs);
            std::printf("%-34s %-6s | %8.3f %8.3f %8.1f | %8.3f %8.3f %8.1f | %6.2f %6.2f%s\n", name.c_str(),
                        what.c_str(), o.wall, o.cpu, o.peakMb, t.wall, t.cpu, t.peakMb,
                        t.wall > 0 ? o.wall / t.wall : 0, t.peakMb > 0 ? o.peakMb / t.peakMb : 0,
                        o.failures || t.failures ? "  (failures)" : "");
        }
    }
    fs::remove_all(outDir);
    return 0;
}
