#include "BitStream.h"

#include <algorithm>
#include <stdexcept>

#include "LogStream.h"

void throwVectorOutOfRange()
{
    throw std::out_of_range("vector");
}

BitStream::BitStream(const std::vector<std::uint8_t>& data)
    : mBuffer(std::make_shared<std::vector<std::uint8_t>>(data)), mEnd(std::uint32_t(data.size()))
{
}

BitStream::BitStream(std::vector<std::uint8_t>&& data)
    : mBuffer(std::make_shared<std::vector<std::uint8_t>>(std::move(data))), mEnd(std::uint32_t(mBuffer->size()))
{
}

const std::vector<std::uint8_t>& BitStream::getStorage() const
{
    static const std::vector<std::uint8_t> empty;
    if (!mBuffer)
    {
        return empty;
    }
    if (mBegin != 0 || mEnd != mBuffer->size())
    {
        mBuffer = std::make_shared<std::vector<std::uint8_t>>(bytes(), bytes() + getSize());
        mEnd = getSize();
        mBegin = 0;
    }
    return *mBuffer;
}

std::vector<std::uint8_t>& BitStream::writable()
{
    if (!mBuffer)
    {
        mBuffer = std::make_shared<std::vector<std::uint8_t>>();
        mBegin = mEnd = 0;
    }
    else if (mBuffer.use_count() != 1 || mBegin != 0 || mEnd != mBuffer->size())
    {
        // Others read these bytes, or this stream sees only part of them: write to a copy.
        mBuffer = std::make_shared<std::vector<std::uint8_t>>(bytes(), bytes() + getSize());
        mEnd = getSize();
        mBegin = 0;
    }
    return *mBuffer;
}

void BitStream::setPosition(std::uint32_t position)
{
    mByteOffset = position;
}

void BitStream::skipBytes(int count)
{
    const std::int64_t target = std::int64_t(mByteOffset) + count;
    if (target < 0 || target > 0xFFFFFFFFll)
    {
        throwVectorOutOfRange();
    }
    mByteOffset = std::uint32_t(target);
}

std::uint32_t BitStream::numBytesLeft() const
{
    const std::uint32_t size = getSize();
    return mByteOffset >= size ? 0 : size - mByteOffset;
}

void BitStream::reset()
{
    mCurrByte = 0;
    mByteOffset = 0;
    mBitOffset = 0;
}

void BitStream::clear()
{
    mBuffer.reset();
    mBegin = mEnd = 0;
}

void BitStream::extract(std::uint32_t begin, std::uint32_t end, BitStream& dest) const
{
    if (begin > end || end > getSize())
    {
        throwVectorOutOfRange();
    }
    if (&dest != this)
    {
        dest.mBuffer = mBuffer;
    }
    const std::uint32_t base = mBegin;
    dest.mBegin = base + begin;
    dest.mEnd = base + end;
    dest.reset();
}

std::uint8_t BitStream::byteAt(std::uint32_t index) const
{
    if (index >= getSize())
    {
        throwVectorOutOfRange();
    }
    return bytes()[index];
}

std::uint8_t BitStream::getByte(std::uint32_t index) const
{
    return byteAt(index);
}

void BitStream::setByte(std::uint32_t index, std::uint8_t value)
{
    if (index >= getSize())
    {
        throwVectorOutOfRange();
    }
    writable()[index] = value;
}

void BitStream::writeU8(std::uint8_t value)
{
    writable().push_back(value);
    grown();
}

void BitStream::writeU16(std::uint16_t value)
{
    writeU8(std::uint8_t(value >> 8));
    writeU8(std::uint8_t(value));
}

void BitStream::writeU24(std::uint32_t value)
{
    writeU8(std::uint8_t(value >> 16));
    writeU8(std::uint8_t(value >> 8));
    writeU8(std::uint8_t(value));
}

void BitStream::writeU32(std::uint32_t value)
{
    for (int shift = 24; shift >= 0; shift -= 8)
    {
        writeU8(std::uint8_t(value >> shift));
    }
}

void BitStream::writeU64(std::uint64_t value)
{
    for (int shift = 56; shift >= 0; shift -= 8)
    {
        writeU8(std::uint8_t(value >> shift));
    }
}

void BitStream::writeBits(std::uint32_t value, std::uint32_t bitCount)
{
    // 64-bit arithmetic keeps the shifts defined for every count the caller may pass.
    const std::uint64_t v = value;
    std::uint32_t freeBits = 8 - std::uint32_t(mBitOffset);
    while (bitCount >= freeBits)
    {
        const std::uint32_t shift = bitCount - freeBits;
        const std::uint64_t top = shift >= 64 ? 0 : (v >> shift);
        mCurrByte |= std::uint32_t(top & ((1u << freeBits) - 1));
        writeU8(std::uint8_t(mCurrByte));
        mCurrByte = 0;
        mBitOffset = 0;
        bitCount -= freeBits;
        freeBits = 8;
        if (bitCount == 0)
        {
            return;
        }
    }
    mCurrByte |= std::uint32_t(v & ((1u << bitCount) - 1)) << (freeBits - bitCount);
    mBitOffset += std::int32_t(bitCount);
}

void BitStream::writeBytes(const std::vector<std::uint8_t>& src, std::uint32_t length, std::uint32_t offset)
{
    if (std::uint64_t(offset) + length > src.size())
    {
        throwVectorOutOfRange();
    }
    // src may be this stream's own buffer: it is copied before the buffer grows.
    if (&src == mBuffer.get())
    {
        const std::vector<std::uint8_t> copy(src.begin() + offset, src.begin() + offset + length);
        writable().insert(mBuffer->end(), copy.begin(), copy.end());
    }
    else
    {
        writable().insert(mBuffer->end(), src.begin() + offset, src.begin() + offset + length);
    }
    grown();
}

void BitStream::writeString(const std::string& text)
{
    if (text.empty())
    {
        logWarning() << "BitStream::writeString called for zero-length string." << std::endl;
        return;
    }
    writable().insert(mBuffer->end(), text.begin(), text.end());
    grown();
}

void BitStream::writeZeroTerminatedString(const std::string& text)
{
    writable().insert(mBuffer->end(), text.begin(), text.end());
    mBuffer->push_back(0);
    grown();
}

std::uint32_t BitStream::readU8()
{
    const std::uint32_t value = byteAt(mByteOffset);
    ++mByteOffset;
    return value;
}

std::uint32_t BitStream::readU16()
{
    std::uint32_t value = readU8() << 8;
    return value | readU8();
}

std::uint32_t BitStream::readU24()
{
    std::uint32_t value = readU8() << 16;
    value |= readU8() << 8;
    return value | readU8();
}

std::uint32_t BitStream::readU32()
{
    std::uint32_t value = 0;
    for (int i = 0; i < 4; ++i)
    {
        value = (value << 8) | readU8();
    }
    return value;
}

std::uint64_t BitStream::readU64()
{
    std::uint64_t value = 0;
    for (int i = 0; i < 8; ++i)
    {
        value = (value << 8) | readU8();
    }
    return value;
}

std::uint32_t BitStream::readBits(std::uint32_t bitCount)
{
    if (bitCount == 0)
    {
        return 0;
    }
    const std::uint32_t freeBits = 8 - std::uint32_t(mBitOffset);
    const std::uint32_t current = byteAt(mByteOffset);
    if (bitCount <= freeBits)
    {
        const std::uint32_t result = (current >> (freeBits - bitCount)) & ((1u << bitCount) - 1);
        mBitOffset += std::int32_t(bitCount);
        if (mBitOffset == 8)
        {
            ++mByteOffset;
            mBitOffset = 0;
        }
        return result;
    }

    std::uint32_t result = current & ((1u << freeBits) - 1);
    ++mByteOffset;
    mBitOffset = 0;
    bitCount -= freeBits;
    while (bitCount >= 8)
    {
        result = (result << 8) | byteAt(mByteOffset);
        ++mByteOffset;
        bitCount -= 8;
    }
    if (bitCount > 0)
    {
        result = (result << bitCount) | (std::uint32_t(byteAt(mByteOffset)) >> (8 - bitCount));
        mBitOffset = std::int32_t(bitCount);
    }
    return result;
}

void BitStream::readBytes(std::vector<std::uint8_t>& dest, std::uint32_t length)
{
    if (length > numBytesLeft())
    {
        throwVectorOutOfRange();
    }
    dest.insert(dest.end(), bytes() + mByteOffset, bytes() + mByteOffset + length);
    mByteOffset += length;
}

BitStream::Span BitStream::readSpan(std::uint32_t length)
{
    if (length > numBytesLeft())
    {
        throwVectorOutOfRange();
    }
    Span span;
    span.buffer = mBuffer;
    span.offset = mBegin + mByteOffset;
    span.length = length;
    mByteOffset += length;
    return span;
}

void BitStream::readString(std::string& dest, std::uint32_t length)
{
    dest.clear();
    if (length > numBytesLeft())
    {
        // Bytes taken before the failure stay consumed, as with every other read.
        mByteOffset = std::max(mByteOffset, getSize());
        throwVectorOutOfRange();
    }
    dest.assign(bytes() + mByteOffset, bytes() + mByteOffset + length);
    mByteOffset += length;
}

void BitStream::peekString(std::string& dest, std::uint32_t index, std::uint32_t length) const
{
    dest.clear();
    if (std::uint64_t(index) + length > getSize())
    {
        throwVectorOutOfRange();
    }
    dest.assign(bytes() + index, bytes() + index + length);
}

void BitStream::readZeroTerminatedString(std::string& dest)
{
    dest.clear();
    while (true)
    {
        const char c = char(readU8());
        if (c == '\0')
        {
            return;
        }
        dest.push_back(c);
    }
}

std::uint32_t BitStream::readUnsignedExpGolomb()
{
    std::uint32_t leadingZeros = 0;
    while (readBits(1) == 0)
    {
        ++leadingZeros;
        if (leadingZeros >= 32)
        {
            throw std::runtime_error("Exp-Golomb code longer than 32 bits");
        }
    }
    if (leadingZeros == 0)
    {
        return 0;
    }
    return readBits(leadingZeros) + ((1u << leadingZeros) - 1);
}

std::int32_t BitStream::readSignedExpGolomb()
{
    const std::uint32_t k = readUnsignedExpGolomb();
    if (k & 1)
    {
        return std::int32_t((std::uint64_t(k) + 1) / 2);
    }
    return -std::int32_t(k / 2);
}

BitStream BitStream::readChildBox(FourCCInt& type)
{
    const std::uint32_t start = mByteOffset;
    const std::uint32_t left = numBytesLeft();
    const std::uint32_t size = readU32();
    type = FourCCInt(readU32());
    std::uint64_t boxSize = size;
    std::uint32_t headerLength = 8;
    if (size == 1)
    {
        const std::uint64_t largeSize = readU64();
        if (largeSize > 0xFFFFFFFFull)
        {
            throwVectorOutOfRange();
        }
        boxSize = largeSize;
        headerLength = 16;
    }
    else if (size == 0)
    {
        boxSize = left;
    }
    if (boxSize < headerLength || boxSize > left)
    {
        throwVectorOutOfRange();
    }

    BitStream child;
    extract(start, start + std::uint32_t(boxSize), child);
    mByteOffset = start + std::uint32_t(boxSize);
    return child;
}
