#pragma once

#include "Bitmap.h"
#include "PictureDecodeJob.h"
#include "PictureFormat.h"
#include "PictureStreamDecoder.h"

#include <chrono>
#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <string>

namespace pravix
{

// The bounds of every run of the picture decoder helper.
struct PictureDecoderLimits
{
    // What the program and a helper together may take: the helper is given what the program does not
    // hold when it starts (its private memory and the decoded rows together), less a margin.
    uint64_t memoryBytes = 600'000'000;
    // Processor time of all the helper's threads, a backstop of the deadline.
    uint32_t cpuSeconds = 20;
    // Wall-clock time after which the helper is killed.
    std::chrono::milliseconds deadline{5000};
};

// How one helper run went, for whoever measures it (a benchmark).
struct PictureDecoderRun
{
    uint64_t peakKilobytes = 0;  // the helper's largest resident size
    double processorSeconds = 0;
    double wallSeconds = 0;
    bool succeeded = false;
};

// Decodes the JPEG, PNG, TIFF, BMP and JPEG 2000 pictures of the program in a helper process of its own
// (pravix-picture-decoder), one for every file, handed the open file, bounded by the kernel (memory,
// processor time) and killed at the deadline of each step (its header, then its picture). The rows come
// back in shared memory that the bitmap maps: they are not copied. A helper that fails, crashes, is
// killed or says something that does not add up is a refusal of that file with its reason; nothing is
// left running. When the helper cannot be found or started, these pictures are refused: they are never
// decoded in the program's own process.
class PictureDecoderProcess
{
public:
    struct Result
    {
        std::optional<PictureHeader> header;
        std::optional<Bitmap> picture;  // when decoding was asked and it worked; without a colour profile
        std::string whyNot;             // for the log, when what was asked did not come
    };

    // Starts a helper on `file` (a descriptor on a regular file, read from its start) and waits for the
    // picture's header; the helper then waits for decode(). Null, with why, when there is no header.
    static std::unique_ptr<PictureDecoderProcess> start(int file, PictureFormat format, std::string& whyNot);
    // Ends a helper that was not asked to decode, and collects it.
    ~PictureDecoderProcess();
    PictureDecoderProcess(const PictureDecoderProcess&) = delete;
    PictureDecoderProcess& operator=(const PictureDecoderProcess&) = delete;

    // The header, its colour profile among it, for the caller to take.
    PictureHeader& header();
    // Once: the picture as asked (without the colour profile); the helper ends with it.
    std::optional<Bitmap> decode(const DecodeRequest& request, std::string& whyNot);

    // The header of the picture in `file`, and, when `decode` is set, the picture as asked: start and
    // decode in one.
    static Result run(int file, PictureFormat format, bool decode, const DecodeRequest& request = {});

    // The helper program: the one given here (an empty path restores the search), else the one
    // installed beside the program (../libexec/pravix/ from its own folder), else, for a program in the
    // build tree, the build tree's. Empty when there is none.
    static void setProgramPath(const std::string& path);
    static std::string programPath();
    static void setLimits(const PictureDecoderLimits& limits);
    static PictureDecoderLimits limits();
    // Called as every helper ends, from the thread that collected it; empty to stop.
    static void setObserver(std::function<void(const PictureDecoderRun&)> observer);

private:
    struct Helper;
    explicit PictureDecoderProcess(std::unique_ptr<Helper> helper);

    std::unique_ptr<Helper> mHelper;
};

}  // namespace pravix
