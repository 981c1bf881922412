// Times the batch (BatchRunner of convert/, the worker behind the Start button) on N photos for
// several N, with the pause before each photo set to 0, and shows that seconds per photo and peak
// memory stay flat in N.
//
//   batch_bench [--runs R] [--sizes 3,6,12,24] [FILE...]
//
// Without files it takes the twelve-megapixel photos of ../shared/corpus/heic/ and cycles through
// them. Every batch runs in a fresh child process, so its peak resident memory (ru_maxrss) is its
// own; the child also samples its resident memory after every photo. Output: JPG, quality 70, 100 %,
// Exif on, beside nothing (a scratch folder). Medians over R runs.
#include "BatchRunner.h"

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
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

const char* const kCorpusPhotos[] = {"photoprism_iphone_7.heic", "pillowheif_arrow.heic", "pillowheif_cat.hif"};

struct BatchFigures
{
    double wall = 0;          // seconds for the whole batch
    double peakMb = 0;        // ru_maxrss of the child
    double firstEntryMb = 0;  // resident after the first photo
    double lastEntryMb = 0;   // resident after the last photo
    int converted = 0;
};

double residentMb()
{
    long pages = 0, resident = 0;
    if (FILE* statm = std::fopen("/proc/self/statm", "r"))
    {
        if (std::fscanf(statm, "%ld %ld", &pages, &resident) != 2)
        {
            resident = 0;
        }
        std::fclose(statm);
    }
    return static_cast<double>(resident) * static_cast<double>(sysconf(_SC_PAGESIZE)) / (1024.0 * 1024.0);
}

// In the child: one batch of n photos, then its figures on `out`.
void runBatch(const std::vector<std::string>& files, int n, const std::string& outDir, int out)
{
    // The engine's log lines would drown the table.
    const int devnull = open("/dev/null", O_WRONLY);
    dup2(devnull, 1);
    std::vector<BatchItem> items;
    for (int i = 0; i < n; ++i)
    {
        const std::string& file = files[static_cast<size_t>(i) % files.size()];
        items.push_back(BatchItem{static_cast<uint64_t>(i + 1),
                                  EntryPaths{file, fs::path(file).parent_path().string(), fs::path(file).stem().string()}});
    }
    ConversionOptions options;
    options.saveSuff = "JPG";
    options.nQuality = 70;
    options.bExif = true;
    options.savePath = outDir;
    options.cachePath = outDir + "/cache";

    BatchFigures figures;
    BatchCallbacks callbacks;
    callbacks.entryFinished = [&](uint64_t id, const EntryOutcome& outcome)
    {
        figures.converted += outcome.converted ? 1 : 0;
        const double now = residentMb();
        if (id == 1)
        {
            figures.firstEntryMb = now;
        }
        figures.lastEntryMb = now;
    };
    const auto start = std::chrono::steady_clock::now();
    {
        BatchRunner runner(std::chrono::milliseconds(0));
        runner.start(std::move(items), options, callbacks);
        runner.join();
    }
    figures.wall = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
    const std::string line = std::to_string(figures.wall) + " " + std::to_string(figures.firstEntryMb) + " " +
                             std::to_string(figures.lastEntryMb) + " " + std::to_string(figures.converted) + "\n";
    if (write(out, line.data(), line.size()) != static_cast<ssize_t>(line.size()))
    {
        _exit(1);
    }
}

// One batch in a fresh child; false when it failed.
bool measure(const std::vector<std::string>& files, int n, const std::string& outDir, BatchFigures& figures)
{
    int fds[2];
    if (pipe(fds) != 0)
    {
        return false;
    }
    const pid_t pid = fork();
    if (pid == 0)
    {
        close(fds[0]);
        runBatch(files, n, outDir, fds[1]);
        _exit(0);
    }
    close(fds[1]);
    std::string text;
    char buffer[256];
    for (ssize_t got; (got = read(fds[0], buffer, sizeof buffer)) > 0;)
    {
        text.append(buffer, static_cast<size_t>(got));
    }
    close(fds[0]);
    int status = 0;
    rusage usage{};
    wait4(pid, &status, 0, &usage);
    std::istringstream in(text);
    in >> figures.wall >> figures.firstEntryMb >> figures.lastEntryMb >> figures.converted;
    figures.peakMb = usage.ru_maxrss / 1024.0;
    std::error_code ec;
    for (const auto& item : fs::directory_iterator(outDir, ec))
    {
        fs::remove_all(item.path(), ec);
    }
    return WIFEXITED(status) && WEXITSTATUS(status) == 0 && bool(in);
}

double middle(std::vector<double> values)
{
    std::sort(values.begin(), values.end());
    return values.empty() ? 0.0 : values[values.size() / 2];
}

}  // namespace

int main(int argc, char** argv)
{
    int runs = 3;
    std::vector<int> sizes = {3, 6, 12, 24};
    std::vector<std::string> files;
    for (int i = 1; i < argc; ++i)
    {
        const std::string a = argv[i];
        if (a == "--runs" && i + 1 < argc)
        {
            runs = std::max(1, std::atoi(argv[++i]));
        }
        else if (a == "--sizes" && i + 1 < argc)
        {
            sizes.clear();
            std::stringstream list(argv[++i]);
            for (std::string s; std::getline(list, s, ',');)
            {
                sizes.push_back(std::max(1, std::atoi(s.c_str())));
            }
        }
        else
        {
            files.push_back(a);
        }
    }
    if (files.empty())
    {
        const fs::path corpus = fs::path(PRAVIX_CORPUS_DIR);
        for (const char* name : kCorpusPhotos)
        {
            if (fs::exists(corpus / name))
            {
                files.push_back((corpus / name).string());
            }
        }
    }
    if (files.empty())
    {
        std::fprintf(stderr, "usage: %s [--runs R] [--sizes 3,6,12,24] FILE...\n", argv[0]);
        return 2;
    }
    char dirTemplate[] = "/tmp/pravix-batch-bench-XXXXXX";
    if (mkdtemp(dirTemplate) == nullptr)
    {
        return 1;
    }
    const std::string outDir = dirTemplate;
    for (const std::string& file : files)
    {
        std::printf("photo: %s\n", file.c_str());
    }
    std::printf("%6s | %9s %9s | %8s %14s %14s | %s\n", "N", "wall s", "s/photo", "peak MB", "after 1st MB",
                "after last MB", "converted");
    int status = 0;
    for (const int n : sizes)
    {
        std::vector<double> wall, peak, first, last;
        int converted = 0;
        for (int run = 0; run < runs; ++run)
        {
            BatchFigures f;
            if (!measure(files, n, outDir, f))
            {
                status = 1;
                continue;
            }
            wall.push_back(f.wall);
            peak.push_back(f.peakMb);
            first.push_back(f.firstEntryMb);
            last.push_back(f.lastEntryMb);
            converted = f.converted;
        }
        const double w = middle(wall);
        std::printf("%6d | %9.3f %9.3f | %8.1f %14.1f %14.1f | %d/%d\n", n, w, w / n, middle(peak), middle(first),
                    middle(last), converted, n);
        std::fflush(stdout);
    }
    fs::remove_all(outDir);
    return status;
}
