// The picture decoder helper process: decodes one JPEG, PNG, TIFF, BMP or JPEG 2000 picture for the
// program, inside the bounds it puts on itself first (HelperSandbox), and reports on its report
// descriptor (DecoderProtocol). Whatever the picture makes the decoders do, the worst it can do is end
// this process, which the program then reports as a refusal of that file.
#include "AllocationWatch.h"
#include "DecoderProtocol.h"
#include "FileReadBuffer.h"
#include "HelperSandbox.h"
#include "ParallelFor.h"
#include "PictureDecodeJob.h"

#include <cerrno>
#include <memory>
#include <new>
#include <optional>
#include <string>
#include <algorithm>
#include <climits>
#include <sys/mman.h>
#include <sys/uio.h>
#include <unistd.h>
#include <vector>

using namespace pravix;
using namespace pravix::helper;

namespace
{

bool report(const std::vector<uint8_t>& message)
{
    size_t done = 0;
    while (done < message.size())
    {
        const ssize_t n = ::write(kReportDescriptor, message.data() + done, message.size() - done);
        if (n < 0 && errno == EINTR)
        {
            continue;
        }
        if (n <= 0)
        {
            return false;
        }
        done += static_cast<size_t>(n);
    }
    return true;
}

int fail(FailureKind kind, const std::string& text)
{
    report(failureMessage({kind, text}));
    return 1;
}

// The decoded rows' memory: the shared file, grown to their size and mapped.
PixelBuffer sharedRows(size_t bytes)
{
    if (!reserveForRows(bytes))
    {
        noteAllocationRefused();
        throw std::bad_alloc();
    }
    const size_t mapped = (bytes + 4095) / 4096 * 4096;
    if (ftruncate(kRowsDescriptor, static_cast<off_t>(mapped)) != 0)
    {
        noteAllocationRefused();
        throw std::bad_alloc();
    }
    void* memory = mmap(nullptr, mapped, PROT_READ | PROT_WRITE, MAP_SHARED | MAP_POPULATE, kRowsDescriptor, 0);
    if (memory == MAP_FAILED)
    {
        noteAllocationRefused();
        throw std::bad_alloc();
    }
    return PixelBuffer::adopt(static_cast<uint8_t*>(memory), bytes,
                              [mapped](uint8_t* rows, size_t) { munmap(rows, mapped); });
}

// The decoded rows written into the shared file as they are finished: the decoder holds no picture of its
// own, and the file's pages are filled by the writes, which costs less than faulting in a mapping.
class SharedFileRows : public RowDestination
{
public:
    void begin(uint32_t width, uint32_t height, uint32_t channels) override
    {
        mStride = static_cast<size_t>(width) * channels;
        const size_t bytes = mStride * height;
        if (!reserveForRows(bytes))
        {
            noteAllocationRefused();
            throw std::bad_alloc();
        }
    }

    void rows(uint32_t y, const uint8_t* rows, size_t stride, uint32_t count) override
    {
        std::vector<iovec> parts(std::min<uint32_t>(count, IOV_MAX));
        for (uint32_t first = 0; first < count; first += static_cast<uint32_t>(parts.size()))
        {
            const uint32_t n = std::min<uint32_t>(count - first, static_cast<uint32_t>(parts.size()));
            for (uint32_t r = 0; r < n; ++r)
            {
                parts[r] = {const_cast<uint8_t*>(rows + (first + r) * stride), mStride};
            }
            writeAt(parts.data(), n, static_cast<off_t>((y + first) * mStride), n * mStride);
        }
    }

private:
    static void writeAt(iovec* parts, uint32_t count, off_t at, size_t bytes)
    {
        while (bytes > 0)
        {
            const ssize_t n = pwritev(kRowsDescriptor, parts, static_cast<int>(count), at);
            if (n < 0 && errno == EINTR)
            {
                continue;
            }
            if (n <= 0)
            {
                // The file's size limit, or no memory for its pages.
                noteAllocationRefused();
                throw std::bad_alloc();
            }
            bytes -= static_cast<size_t>(n);
            at += n;
            // What is left of the parts after a short write.
            size_t done = static_cast<size_t>(n);
            while (count > 0 && done >= parts->iov_len)
            {
                done -= parts->iov_len;
                ++parts;
                --count;
            }
            if (count > 0)
            {
                parts->iov_base = static_cast<uint8_t*>(parts->iov_base) + done;
                parts->iov_len -= done;
            }
        }
    }

    size_t mStride = 0;
};

// What the program asks once it has the header: a picture to decode, or nothing (the command pipe ends).
std::optional<DecodeRequest> awaitedRequest()
{
    MessageReader reader;
    for (;;)
    {
        uint8_t buffer[256];
        const ssize_t n = ::read(kCommandDescriptor, buffer, sizeof buffer);
        if (n < 0 && errno == EINTR)
        {
            continue;
        }
        if (n <= 0 || !reader.add(buffer, static_cast<size_t>(n)))
        {
            return std::nullopt;
        }
        if (std::optional<MessageReader::Message> m = reader.next())
        {
            if (m->kind != MessageKind::Decode)
            {
                return std::nullopt;
            }
            return decodeRequestOf(m->payload);
        }
    }
}

}  // namespace

int main(int argc, char** argv)
{
    const std::optional<Request> request = requestOf(std::vector<std::string>(argv + 1, argv + argc));
    if (!request)
    {
        return 2;
    }
    // Counted before the sandbox, which hides the system files the count comes from.
    limitWorkers(request->threads);
    (void)workerCount();
    std::string why;
    if (!enterSandbox({request->memoryBytes, request->cpuSeconds, request->parent}, why))
    {
        return fail(FailureKind::Crashed, "the decoder cannot bound itself: " + why);
    }
    try
    {
        const std::unique_ptr<FileReadBuffer> file = FileReadBuffer::adopt(kPictureDescriptor);
        if (!file)
        {
            return fail(FailureKind::Undecodable, "no picture file given");
        }
        PictureDecodeJob job(request->format, *file);
        if (!report(headerMessage(job.readHeader())))
        {
            return 1;
        }
        const std::optional<DecodeRequest> asked = awaitedRequest();
        if (!asked)
        {
            return 0;
        }
        // A JPEG 2000 picture is put together in its output rows themselves, which it needs in place.
        SharedFileRows written;
        const Bitmap picture =
            job.decode(*asked, sharedRows, request->format == PictureFormat::Jpeg2000 ? nullptr : &written);
        return report(pictureMessage({picture.width, picture.height, picture.channels})) ? 0 : 1;
    }
    catch (const std::bad_alloc&)
    {
        return fail(FailureKind::OutOfMemory, "out of memory");
    }
    catch (const std::exception& e)
    {
        // A library that gave up because it was refused memory says so in words of its own.
        return fail(allocationRefused() ? FailureKind::OutOfMemory : FailureKind::Undecodable, e.what());
    }
}
