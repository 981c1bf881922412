#pragma once

#include "PictureDecodeJob.h"
#include "PictureFormat.h"
#include "PictureStreamDecoder.h"

#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <vector>

namespace pravix
{

// What the program and the picture decoder helper process say to each other. The program starts the
// helper with the request as its arguments and four descriptors: the read end of a command pipe as
// kCommandDescriptor, the picture file (read-only) as kPictureDescriptor, the write end of a pipe as
// kReportDescriptor, on which the helper reports in messages, and an empty shared-memory file as
// kRowsDescriptor, into which the helper writes the decoded picture's rows (width x height x channels
// bytes, rows top to bottom) for the program to map. The helper reports the header, then waits for a
// Decode message on the command pipe (its end: nothing to decode), and reports the picture. Each message
// is its kind, its payload's length (both 32-bit little-endian) and the payload.
namespace helper
{

constexpr int kCommandDescriptor = 0;
constexpr int kPictureDescriptor = 3;
constexpr int kReportDescriptor = 4;
constexpr int kRowsDescriptor = 5;

// Largest payload either side accepts: a header with the largest colour profile and Exif block kept.
constexpr size_t kMaxPayloadBytes = (size_t(8) << 20) + (size_t(1) << 20);
constexpr size_t kMaxExifBytes = 65536;
constexpr size_t kMaxFailureText = 1024;

enum class MessageKind : uint32_t
{
    Header = 1,   // the picture's header: PictureHeader
    Picture = 2,  // the rows are in the shared file: width, height, channels
    Failure = 3,  // why there is no picture
    Decode = 4,   // from the program: decode as asked (DecodeRequest)
};

enum class FailureKind : uint32_t
{
    Undecodable = 1,  // damaged, cut short, unsupported, refused by a header check
    OutOfMemory = 2,  // an allocation was refused: the memory limit
    ProcessorTime = 3,
    Crashed = 4,  // a fatal signal in the helper
};

// What the program asks of one helper run.
struct Request
{
    PictureFormat format = PictureFormat::Unknown;
    uint64_t memoryBytes = 0;  // the most the helper may take, its decoded rows included
    uint32_t cpuSeconds = 0;
    uint32_t threads = 1;
    int parent = 0;  // the program's process id: the helper ends when the program has gone
};

std::vector<std::string> argumentsOf(const Request& request);
// None for arguments that are not a request.
std::optional<Request> requestOf(const std::vector<std::string>& arguments);

struct PictureSize
{
    uint32_t width = 0;
    uint32_t height = 0;
    uint32_t channels = 0;
};

struct Failure
{
    FailureKind kind = FailureKind::Undecodable;
    std::string text;
};

// A whole message's bytes.
std::vector<uint8_t> headerMessage(const PictureHeader& header);
std::vector<uint8_t> pictureMessage(const PictureSize& size);
std::vector<uint8_t> failureMessage(const Failure& failure);
std::vector<uint8_t> decodeMessage(const DecodeRequest& request);

// Gathers messages from the bytes of the report pipe as they arrive. A message of an unknown kind, or
// longer than kMaxPayloadBytes, makes the stream broken.
class MessageReader
{
public:
    struct Message
    {
        MessageKind kind;
        std::vector<uint8_t> payload;
    };

    // Adds bytes; false once the stream is broken.
    bool add(const uint8_t* bytes, size_t count);
    // The next whole message, if one has arrived.
    std::optional<Message> next();
    bool broken() const { return mBroken; }
    // Bytes received that do not make a whole message yet.
    bool pending() const { return !mBytes.empty(); }

private:
    std::vector<uint8_t> mBytes;
    bool mBroken = false;
};

// The payloads read back; none when they do not hold what their kind says.
std::optional<PictureHeader> headerOf(const std::vector<uint8_t>& payload);
std::optional<PictureSize> pictureSizeOf(const std::vector<uint8_t>& payload);
std::optional<Failure> failureOf(const std::vector<uint8_t>& payload);
std::optional<DecodeRequest> decodeRequestOf(const std::vector<uint8_t>& payload);

}  // namespace helper
}  // namespace pravix
