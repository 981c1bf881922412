#include "DecoderProtocol.h"

#include <cstring>

namespace pravix
{
namespace helper
{
namespace
{

void put32(std::vector<uint8_t>& out, uint32_t value)
{
    for (int i = 0; i < 4; ++i)
    {
        out.push_back(static_cast<uint8_t>(value >> (8 * i)));
    }
}

void putBytes(std::vector<uint8_t>& out, const std::vector<uint8_t>& bytes)
{
    put32(out, static_cast<uint32_t>(bytes.size()));
    out.insert(out.end(), bytes.begin(), bytes.end());
}

std::vector<uint8_t> message(MessageKind kind, const std::vector<uint8_t>& payload)
{
    std::vector<uint8_t> out;
    out.reserve(payload.size() + 8);
    put32(out, static_cast<uint32_t>(kind));
    put32(out, static_cast<uint32_t>(payload.size()));
    out.insert(out.end(), payload.begin(), payload.end());
    return out;
}

uint32_t get32(const uint8_t* p)
{
    return uint32_t(p[0]) | (uint32_t(p[1]) << 8) | (uint32_t(p[2]) << 16) | (uint32_t(p[3]) << 24);
}

// Reads a payload front to back, every field checked against the bytes left.
class PayloadReader
{
public:
    explicit PayloadReader(const std::vector<uint8_t>& payload) : mPayload(payload) {}

    bool read32(uint32_t& value)
    {
        if (mPayload.size() - mAt < 4)
        {
            return false;
        }
        value = get32(mPayload.data() + mAt);
        mAt += 4;
        return true;
    }
    bool readBytes(std::vector<uint8_t>& bytes, size_t most)
    {
        uint32_t length = 0;
        if (!read32(length) || length > most || length > mPayload.size() - mAt)
        {
            return false;
        }
        bytes.assign(mPayload.begin() + static_cast<std::ptrdiff_t>(mAt),
                     mPayload.begin() + static_cast<std::ptrdiff_t>(mAt + length));
        mAt += length;
        return true;
    }
    bool atEnd() const { return mAt == mPayload.size(); }

private:
    const std::vector<uint8_t>& mPayload;
    size_t mAt = 0;
};

const char* formatArgument(PictureFormat format)
{
    switch (format)
    {
    case PictureFormat::Jpeg:
        return "jpeg";
    case PictureFormat::Png:
        return "png";
    case PictureFormat::Tiff:
        return "tiff";
    case PictureFormat::Bmp:
        return "bmp";
    case PictureFormat::Jpeg2000:
        return "jpeg2000";
    case PictureFormat::Heif:
    case PictureFormat::Unknown:
        break;
    }
    return "unknown";
}

std::optional<uint64_t> number(const std::string& text)
{
    if (text.empty() || text.size() > 19 || text.find_first_not_of("0123456789") != std::string::npos)
    {
        return std::nullopt;
    }
    return std::stoull(text);
}

}  // namespace

std::vector<std::string> argumentsOf(const Request& request)
{
    return {formatArgument(request.format), std::to_string(request.memoryBytes), std::to_string(request.cpuSeconds),
            std::to_string(request.threads), std::to_string(request.parent)};
}

std::optional<Request> requestOf(const std::vector<std::string>& arguments)
{
    if (arguments.size() != 5)
    {
        return std::nullopt;
    }
    Request request;
    for (PictureFormat f : {PictureFormat::Jpeg, PictureFormat::Png, PictureFormat::Tiff, PictureFormat::Bmp,
                            PictureFormat::Jpeg2000})
    {
        if (arguments[0] == formatArgument(f))
        {
            request.format = f;
        }
    }
    const std::optional<uint64_t> memory = number(arguments[1]);
    const std::optional<uint64_t> cpu = number(arguments[2]);
    const std::optional<uint64_t> threads = number(arguments[3]);
    const std::optional<uint64_t> parent = number(arguments[4]);
    if (request.format == PictureFormat::Unknown || !memory || !cpu || *cpu == 0 || *cpu > 3600 || !threads ||
        *threads == 0 || *threads > 1024 || !parent || *parent == 0 || *parent > INT32_MAX)
    {
        return std::nullopt;
    }
    request.memoryBytes = *memory;
    request.cpuSeconds = static_cast<uint32_t>(*cpu);
    request.threads = static_cast<uint32_t>(*threads);
    request.parent = static_cast<int>(*parent);
    return request;
}

std::vector<uint8_t> headerMessage(const PictureHeader& header)
{
    std::vector<uint8_t> payload;
    put32(payload, header.width);
    put32(payload, header.height);
    put32(payload, header.orientation);
    put32(payload, header.bottomUp ? 1 : 0);
    putBytes(payload, header.iccProfile);
    putBytes(payload, header.exifBlock);
    return message(MessageKind::Header, payload);
}

std::vector<uint8_t> pictureMessage(const PictureSize& size)
{
    std::vector<uint8_t> payload;
    put32(payload, size.width);
    put32(payload, size.height);
    put32(payload, size.channels);
    return message(MessageKind::Picture, payload);
}

std::vector<uint8_t> failureMessage(const Failure& failure)
{
    std::vector<uint8_t> payload;
    put32(payload, static_cast<uint32_t>(failure.kind));
    const std::string text = failure.text.substr(0, kMaxFailureText);
    putBytes(payload, std::vector<uint8_t>(text.begin(), text.end()));
    return message(MessageKind::Failure, payload);
}

std::vector<uint8_t> decodeMessage(const DecodeRequest& request)
{
    std::vector<uint8_t> payload;
    put32(payload, request.upright ? 1 : 0);
    put32(payload, request.maxPixelSize);
    put32(payload, request.keepAlpha ? 1 : 0);
    return message(MessageKind::Decode, payload);
}

bool MessageReader::add(const uint8_t* bytes, size_t count)
{
    if (mBroken)
    {
        return false;
    }
    mBytes.insert(mBytes.end(), bytes, bytes + count);
    if (mBytes.size() >= 8)
    {
        const uint32_t kind = get32(mBytes.data());
        const uint32_t length = get32(mBytes.data() + 4);
        if (kind < 1 || kind > 4 || length > kMaxPayloadBytes)
        {
            mBroken = true;
        }
    }
    return !mBroken;
}

std::optional<MessageReader::Message> MessageReader::next()
{
    if (mBroken || mBytes.size() < 8)
    {
        return std::nullopt;
    }
    const uint32_t length = get32(mBytes.data() + 4);
    if (mBytes.size() - 8 < length)
    {
        return std::nullopt;
    }
    Message m{static_cast<MessageKind>(get32(mBytes.data())),
              std::vector<uint8_t>(mBytes.begin() + 8, mBytes.begin() + 8 + length)};
    mBytes.erase(mBytes.begin(), mBytes.begin() + 8 + length);
    // The next message's head is checked as soon as it is there.
    if (mBytes.size() >= 8)
    {
        const uint32_t kind = get32(mBytes.data());
        if (kind < 1 || kind > 4 || get32(mBytes.data() + 4) > kMaxPayloadBytes)
        {
            mBroken = true;
        }
    }
    return m;
}

std::optional<PictureHeader> headerOf(const std::vector<uint8_t>& payload)
{
    PayloadReader in(payload);
    PictureHeader header;
    uint32_t bottomUp = 0;
    if (!in.read32(header.width) || !in.read32(header.height) || !in.read32(header.orientation) ||
        !in.read32(bottomUp) || bottomUp > 1 || !in.readBytes(header.iccProfile, kMaxPayloadBytes) ||
        !in.readBytes(header.exifBlock, kMaxExifBytes) || !in.atEnd() || header.orientation < 1 ||
        header.orientation > 8 || header.width == 0 || header.height == 0)
    {
        return std::nullopt;
    }
    header.bottomUp = bottomUp != 0;
    return header;
}

std::optional<PictureSize> pictureSizeOf(const std::vector<uint8_t>& payload)
{
    PayloadReader in(payload);
    PictureSize size;
    if (!in.read32(size.width) || !in.read32(size.height) || !in.read32(size.channels) || !in.atEnd() ||
        size.width == 0 || size.height == 0 || (size.channels != 3 && size.channels != 4))
    {
        return std::nullopt;
    }
    return size;
}

std::optional<Failure> failureOf(const std::vector<uint8_t>& payload)
{
    PayloadReader in(payload);
    uint32_t kind = 0;
    std::vector<uint8_t> text;
    if (!in.read32(kind) || kind < 1 || kind > 4 || !in.readBytes(text, kMaxFailureText) || !in.atEnd())
    {
        return std::nullopt;
    }
    return Failure{static_cast<FailureKind>(kind), std::string(text.begin(), text.end())};
}

std::optional<DecodeRequest> decodeRequestOf(const std::vector<uint8_t>& payload)
{
    PayloadReader in(payload);
    uint32_t upright = 0;
    uint32_t side = 0;
    uint32_t alpha = 0;
    if (!in.read32(upright) || !in.read32(side) || !in.read32(alpha) || !in.atEnd() || upright > 1 || alpha > 1)
    {
        return std::nullopt;
    }
    return DecodeRequest{upright == 1, side, alpha == 1};
}

}  // namespace helper
}  // namespace pravix
