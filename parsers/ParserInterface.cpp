#include "ParserInterface.h"

#include <algorithm>
#include <stdexcept>
#include <utility>

namespace
{
[[noreturn]] void throwNoDataAfterStartCode()
{
    throw std::runtime_error("No data in NAL unit after start code?");
}
}  // namespace

void ParserInterface::readNalUnit(std::istream& stream, std::vector<std::uint8_t>& unit)
{
    using Traits = std::istream::traits_type;
    if (Traits::eq_int_type(stream.peek(), Traits::eof()))
    {
        return;
    }

    // Start code: any number of zero bytes, then the first non-zero byte.
    Traits::int_type c = stream.get();
    while (c == 0)
    {
        unit.push_back(0);
        c = stream.get();
    }
    if (Traits::eq_int_type(c, Traits::eof()))
    {
        throwNoDataAfterStartCode();
    }
    unit.push_back(std::uint8_t(c));

    const std::istream::pos_type unitStart = stream.tellg();
    std::uint64_t scanned = 0;
    std::uint64_t zeroRun = 0;
    std::uint64_t length = 0;
    for (;;)
    {
        c = stream.get();
        if (Traits::eq_int_type(c, Traits::eof()))
        {
            if (scanned == 0)
            {
                throwNoDataAfterStartCode();
            }
            // Trailing zero bytes at the very end of the stream stay in the last unit.
            length = scanned;
            stream.clear();
            break;
        }
        if (c == 0x01 && zeroRun >= 2)
        {
            // The zeros before the next start code (its own and trailing_zero_8bits) belong to it.
            length = scanned - zeroRun;
            if (length == 0)
            {
                throwNoDataAfterStartCode();
            }
            break;
        }
        zeroRun = (c == 0) ? zeroRun + 1 : 0;
        ++scanned;
    }

    stream.seekg(unitStart);
    const std::size_t headerEnd = unit.size();
    unit.resize(headerEnd + std::size_t(length));
    stream.read(reinterpret_cast<char*>(unit.data() + headerEnd), std::streamsize(length));
    if (std::uint64_t(stream.gcount()) != length)
    {
        throw std::runtime_error("NAL unit could not be read back from the stream");
    }
}

void ParserInterface::buildDisplayOrder(ParserInterface& scanner, std::vector<std::uint32_t>& displayOrder)
{
    struct Pending
    {
        std::int32_t decodeIndex;
        std::int64_t order;  // picture order count, then display number
    };
    std::vector<Pending> pending;
    std::uint32_t displayCounter = 0;

    auto flush = [&]()
    {
        if (pending.empty())
        {
            return;
        }
        // Stable, so pictures of equal count keep their decoding order.
        std::stable_sort(pending.begin(), pending.end(),
                         [](const Pending& a, const Pending& b) { return a.order < b.order; });
        for (auto& p : pending)
        {
            p.order = displayCounter++;
        }
        std::stable_sort(pending.begin(), pending.end(),
                         [](const Pending& a, const Pending& b)
                         { return std::uint32_t(a.decodeIndex) < std::uint32_t(b.decodeIndex); });
        for (const auto& p : pending)
        {
            displayOrder.push_back(std::uint32_t(p.order));
        }
        pending.clear();
    };

    PictureData picture;
    bool more = true;
    while (more)
    {
        picture.clear();
        more = scanner.parseNextPicture(picture);
        if (more && !picture.mIsIdr)
        {
            pending.push_back({picture.mDecodeIndex, picture.mPoc});
            continue;
        }
        flush();
        if (more)
        {
            pending.push_back({picture.mDecodeIndex, picture.mPoc});
        }
    }
}

std::int32_t ParserInterface::lookUpDisplayIndex(const std::vector<std::uint32_t>& displayOrder,
                                                 std::int32_t decodeIndex)
{
    if (decodeIndex >= 0 && std::size_t(decodeIndex) < displayOrder.size())
    {
        return std::int32_t(displayOrder[std::size_t(decodeIndex)]);
    }
    return 0;
}

std::int64_t ParserInterface::nextPicOrderCntMsb(std::int64_t prevMsb, std::int64_t prevLsb, std::int64_t lsb,
                                                 std::int64_t maxLsb)
{
    if (lsb < prevLsb && prevLsb - lsb >= maxLsb / 2)
    {
        return prevMsb + maxLsb;
    }
    if (lsb > prevLsb && lsb - prevLsb > maxLsb / 2)
    {
        return prevMsb - maxLsb;
    }
    return prevMsb;
}

std::size_t findNalUnitHeader(const std::vector<std::uint8_t>& nalUnit, std::size_t headerLength)
{
    std::size_t i = 0;
    while (i < nalUnit.size() && nalUnit[i] == 0x00)
    {
        ++i;
    }
    if (i == nalUnit.size() || nalUnit[i] != 0x01)
    {
        throw std::runtime_error("NAL unit does not begin with a start code");
    }
    ++i;
    if (nalUnit.size() - i < headerLength)
    {
        throw std::runtime_error("NAL unit too short for its header");
    }
    return i;
}

void convertByteStreamToRBSP(const std::vector<std::uint8_t>& byteStream, std::vector<std::uint8_t>& dest)
{
    const std::size_t size = byteStream.size();
    // The start code must be followed by the two header bytes, all inside the input.
    std::size_t start = 0;
    bool found = false;
    for (std::size_t i = 0; i + 4 < size; ++i)
    {
        if (byteStream[i] == 0x00 && byteStream[i + 1] == 0x00 && byteStream[i + 2] == 0x01)
        {
            start = i;
            found = true;
            break;
        }
    }
    if (!found)
    {
        throw std::runtime_error("No start code followed by a NAL unit header in the data");
    }

    dest.reserve(dest.size() + size);
    dest.push_back(byteStream[start + 3]);
    dest.push_back(byteStream[start + 4]);

    // Copy in runs between dropped emulation-prevention bytes.
    std::size_t runStart = start + 5;
    unsigned zeros = 0;
    for (std::size_t i = start + 5; i < size; ++i)
    {
        const std::uint8_t b = byteStream[i];
        if (zeros == 2 && b == 0x03)
        {
            dest.insert(dest.end(), byteStream.begin() + std::ptrdiff_t(runStart),
                        byteStream.begin() + std::ptrdiff_t(i));
            runStart = i + 1;
            zeros = 0;
            continue;
        }
        zeros = (b == 0x00) ? std::min(zeros + 1, 2u) : 0;
    }
    dest.insert(dest.end(), byteStream.begin() + std::ptrdiff_t(runStart), byteStream.end());
}
