#include "MediaDataBox.h"

#include <stdexcept>

std::pair<std::size_t, std::size_t> findStartCode(const std::vector<std::uint8_t>& data, std::size_t from)
{
    std::size_t i = from;
    while (i < data.size())
    {
        if (data[i] != 0)
        {
            ++i;
            continue;
        }
        std::size_t j = i;
        while (j < data.size() && data[j] == 0)
        {
            ++j;
        }
        if (j < data.size() && data[j] == 1 && j - i >= 2)
        {
            return {i, j - i + 1};
        }
        i = j;
    }
    return {data.size(), 0};
}

MediaDataBox::MediaDataBox() : Box(FourCCInt("mdat"))
{
    writeBoxHeader(mData);
}

std::uint32_t MediaDataBox::addData(const std::vector<std::uint8_t>& data)
{
    if (std::uint64_t(mData.getSize()) + data.size() > 0xFFFFFFFFull)
    {
        throw std::runtime_error("MediaDataBox::addData: box would exceed 4 GiB");
    }
    const std::uint32_t offset = mData.getSize();
    mDataOffsets.push_back(offset);
    mDataLengths.push_back(std::uint32_t(data.size()));
    mData.writeBytes(data, std::uint32_t(data.size()), 0);
    updateSize(mData);
    return offset;
}

std::uint32_t MediaDataBox::appendNalUnits(const std::vector<std::uint8_t>& byteStream)
{
    std::uint64_t written = 0;
    auto code = findStartCode(byteStream, 0);
    std::size_t unitStart = code.first + code.second;
    while (unitStart < byteStream.size() && code.second != 0)
    {
        code = findStartCode(byteStream, unitStart);
        const std::size_t unitLength = code.first - unitStart;
        written += 4 + std::uint64_t(unitLength);
        if (std::uint64_t(mData.getSize()) + 4 + unitLength > 0xFFFFFFFFull)
        {
            throw std::runtime_error("MediaDataBox::addNalData: box would exceed 4 GiB");
        }
        mData.writeU32(std::uint32_t(unitLength));
        mData.writeBytes(byteStream, std::uint32_t(unitLength), std::uint32_t(unitStart));
        unitStart = code.first + code.second;
    }
    return std::uint32_t(written);
}

void MediaDataBox::addNalData(const std::vector<std::uint8_t>& byteStream)
{
    const std::uint32_t offset = mData.getSize();
    const std::uint32_t length = appendNalUnits(byteStream);
    mDataOffsets.push_back(offset);
    mDataLengths.push_back(length);
    updateSize(mData);
}

void MediaDataBox::addNalData(const std::vector<std::vector<std::uint8_t>>& byteStreams)
{
    const std::uint32_t offset = mData.getSize();
    std::uint64_t total = 0;
    for (const auto& stream : byteStreams)
    {
        total += appendNalUnits(stream);
    }
    mDataOffsets.push_back(offset);
    mDataLengths.push_back(std::uint32_t(total));
    updateSize(mData);
}

void MediaDataBox::writeBox(BitStream& bitstr)
{
    bitstr.writeBytes(mData.getStorage(), mData.getSize(), 0);
}

void MediaDataBox::parseBox(BitStream& /*bitstr*/) {}
