// Times the conversion of one entry against other programs on the same files, in the same run.
//
//   convert_bench [--runs N] [--types JPG,PNG,...] [--peer heif-convert|vips|magick]... [--no-peer] FILE...
//   convert_bench --load FILE
//
// --load loads one file through SafeHEICLoader::loadHEICImageFromPath alone and prints "loaded WxH" or
// "null" as its last line, for timing that path in a process of its own.
// Every measurement is a fresh process (this program re-run with --one, or a peer), so wall time, CPU
// time (user + system) and peak resident memory are each the process's own. Ours and the peers alternate
// run by run; the medians are printed. "stage1" is the picture's decode with orientation plus a JPEG
// encode at quality 70 alone; "JPG" etc. are the whole conversion of one entry (quality 70, scale
// 100 %); "open" is opening the file as an image source and reading its properties. The peers convert to
// JPEG at quality 70 (stage1 and JPG) or to PNG: heif-convert (HEIC only), vips and ImageMagick (both
// read the file by its bytes, whatever its name).
#include "ConvertEntry.h"
#include "HelperPeak.h"
#include "ImageSources.h"
#include "ImageEncoders.h"
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
        std::unique_ptr<ImageSource> source = createImageSourceWithFile(file);
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

// The peer's command line converting `file` for the type, or none when the peer has no such output.
std::vector<std::string> peerCommand(const std::string& peer, const std::string& what, const std::string& file,
                                     const std::string& outDir)
{
    const bool jpeg = what == "JPG" || what == "stage1";
    if (!jpeg && what != "PNG")
    {
        return {};
    }
    const std::string out = outDir + "/peer." + (jpeg ? "jpg" : "png");
    if (peer == "heif-convert")
    {
        return {"heif-convert", "-q", "70", file, out};
    }
    if (peer == "vips")
    {
        return {"vips", "copy", file, jpeg ? out + "[Q=70]" : out};
    }
    if (peer == "magick")
    {
        // Debian's ImageMagick under its own name, whatever `convert` stands for on the PATH.
        return jpeg ? std::vector<std::string>{"convert-im6.q16", file, "-quality", "70", out}
                    : std::vector<std::string>{"convert-im6.q16", file, out};
    }
    return {};
}

}  // namespace

int main(int argc, char** argv)
{
    if (argc == 5 && std::strcmp(argv[1], "--one") == 0)
    {
        benchsupport::reportHelperPeakAtExit();
        return runOne(argv[2], argv[3], argv[4]);
    }
    if (argc == 3 && std::strcmp(argv[1], "--load") == 0)
    {
        benchsupport::reportHelperPeakAtExit();
        // The loader logs on standard output; its verdict comes last so that a caller reads one line.
        const std::optional<Bitmap> image = SafeHEICLoader::loadHEICImageFromPath(argv[2]);
        if (image && !image->empty())
        {
            std::printf("loaded %ux%u\n", image->width, image->height);
        }
        else
        {
            std::puts("null");
        }
        std::fflush(stdout);
        return 0;
    }
    int runs = 5;
    std::vector<std::string> types = {"stage1", "JPG"};
    std::vector<std::string> peers;
    bool noPeer = false;
    std::vector<std::string> files;
    auto split = [](const std::string& list)
    {
        std::vector<std::string> items;
        std::stringstream in(list);
        for (std::string item; std::getline(in, item, ',');)
        {
            items.push_back(item);
        }
        return items;
    };
    for (int i = 1; i < argc; ++i)
    {
        const std::string a = argv[i];
        if (a == "--runs" && i + 1 < argc)
        {
            runs = std::max(1, std::atoi(argv[++i]));
        }
        else if (a == "--types" && i + 1 < argc)
        {
            types = split(argv[++i]);
        }
        else if (a == "--peer" && i + 1 < argc)
        {
            for (const std::string& p : split(argv[++i]))
            {
                peers.push_back(p);
            }
        }
        else if (a == "--no-peer")
        {
            noPeer = true;
        }
        else
        {
            files.push_back(a);
        }
    }
    if (noPeer)
    {
        peers.clear();
    }
    else if (peers.empty())
    {
        peers = {"heif-convert"};
    }
    if (files.empty())
    {
        std::fprintf(stderr,
                     "usage: %s [--runs N] [--types open,stage1,JPG,PNG,BMP,TIFF,JPEG] "
                     "[--peer heif-convert|vips|magick]... [--no-peer] FILE...\n"
                     "       %s --load FILE\n",
                     argv[0], argv[0]);
        return 2;
    }
    char dirTemplate[] = "/tmp/pravix-bench-XXXXXX";
    if (mkdtemp(dirTemplate) == nullptr)
    {
        return 1;
    }
    const std::string outDir = dirTemplate;
    const std::string self = fs::canonical("/proc/self/exe").string();
    std::printf("%-30s %-6s %-12s | %8s %8s %8s | %6s %6s\n", "file", "type", "who", "wall s", "cpu s", "peak MB",
                "wall x", "mem x");
    for (const std::string& file : files)
    {
        for (const std::string& what : types)
        {
            std::vector<std::string> who = {"pravix"};
            std::vector<std::vector<std::string>> commands = {{self, "--one", what, file, outDir}};
            for (const std::string& peer : peers)
            {
                std::vector<std::string> command = peerCommand(peer, what, file, outDir);
                if (!command.empty())
                {
                    who.push_back(peer);
                    commands.push_back(std::move(command));
                }
            }
            std::vector<std::vector<Sample>> samples(commands.size());
            for (int r = 0; r < runs; ++r)
            {
                for (size_t c = 0; c < commands.size(); ++c)
                {
                    samples[c].push_back(runProcess(commands[c]));
                }
            }
            std::vector<Summary> summaries;
            for (const auto& s : samples)
            {
                summaries.push_back(summarise(s));
            }
            // Ours against the faster peer (by wall time).
            const Summary* fastest = nullptr;
            for (size_t c = 1; c < summaries.size(); ++c)
            {
                if (summaries[c].failures < runs && (fastest == nullptr || summaries[c].wall < fastest->wall))
                {
                    fastest = &summaries[c];
                }
            }
            const std::string name = fs::path(file).filename().string();
            for (size_t c = 0; c < summaries.size(); ++c)
            {
                const Summary& o = summaries[c];
                char ratios[32] = "     -      -";
                if (c == 0 && fastest != nullptr && fastest->wall > 0 && fastest->peakMb > 0)
                {
                    std::snprintf(ratios, sizeof ratios, "%6.2f %6.2f", o.wall / fastest->wall,
                                  o.peakMb / fastest->peakMb);
                }
                std::printf("%-30s %-6s %-12s | %8.3f %8.3f %8.1f | %s%s\n", c == 0 ? name.c_str() : "",
                            c == 0 ? what.c_str() : "", who[c].c_str(), o.wall, o.cpu, o.peakMb, ratios,
                            o.failures ? "  (failures)" : "");
            }
        }
    }
    fs::remove_all(outDir);
    return 0;
}
