#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "FourCCInt.h"

/// Throws std::out_of_range with the text "vector": the container library's one signal that
/// data ended early. Thrown explicitly so the text does not depend on the standard library.
[[noreturn]] void throwVectorOutOfRange();

// Big-endian byte and bit buffer that every box parses from and writes into. Writes always
// append; reads advance a byte position and a bit offset. Positions and sizes are 32-bit.
// A child box (readChildBox) or an extracted range is a window on the same bytes, not a copy, so
// parsing nested boxes costs the file's bytes once; a stream copies its bytes only when it is
// written to while others share them, or when getStorage() is asked of a window.
class BitStream
{
public:
    /// A run of a stream's bytes, shared rather than copied: it keeps the buffer alive.
    struct Span
    {
        std::shared_ptr<const std::vector<std::uint8_t>> buffer;
        std::uint32_t offset = 0;
        std::uint32_t length = 0;

        const std::uint8_t* data() const { return buffer ? buffer->data() + offset : nullptr; }
    };

    BitStream() = default;
    BitStream(const std::vector<std::uint8_t>& data);
    BitStream(std::vector<std::uint8_t>&& data);

    std::uint32_t getPos() const { return mByteOffset; }
    void setPosition(std::uint32_t position);
    /// Moves by a signed count; moving before the start throws std::out_of_range "vector".
    void skipBytes(int count);
    std::uint32_t getSize() const { return mEnd - mBegin; }
    /// Bytes from the byte position to the end; 0 when the position stands past the end.
    std::uint32_t numBytesLeft() const;
    bool isByteAligned() const { return mBitOffset == 0; }
    void reset();
    void clear();

    /// The stream's bytes as a vector (a window is copied into a buffer of its own first).
    const std::vector<std::uint8_t>& getStorage() const;

    /// Makes dest a window on [begin, end) of this stream's bytes (no copy), read from its start;
    /// a range outside the storage throws.
    void extract(std::uint32_t begin, std::uint32_t end, BitStream& dest) const;

    std::uint8_t getByte(std::uint32_t index) const;
    void setByte(std::uint32_t index, std::uint8_t value);

    void writeU8(std::uint8_t value);
    void writeU16(std::uint16_t value);
    void writeU24(std::uint32_t value);
    void writeU32(std::uint32_t value);
    void writeU64(std::uint64_t value);
    void writeBits(std::uint32_t value, std::uint32_t bitCount);
    /// Appends src[offset, offset + length); a range outside src throws.
    void writeBytes(const std::vector<std::uint8_t>& src, std::uint32_t length, std::uint32_t offset = 0);
    void writeString(const std::string& text);
    void writeZeroTerminatedString(const std::string& text);

    std::uint32_t readU8();
    std::uint32_t readU16();
    std::uint32_t readU24();
    std::uint32_t readU32();
    std::uint64_t readU64();
    std::uint32_t readBits(std::uint32_t bitCount);
    bool readFlag() { return readBits(1) != 0; }
    /// Appends the next length bytes to dest. Checked before anything is copied or sized.
    void readBytes(std::vector<std::uint8_t>& dest, std::uint32_t length);
    /// The next length bytes as a span of this stream's buffer, without a copy; checked first.
    Span readSpan(std::uint32_t length);
    void readString(std::string& dest, std::uint32_t length);
    void peekString(std::string& dest, std::uint32_t index, std::uint32_t length) const;
    void readZeroTerminatedString(std::string& dest);
    /// ue(v); a code with 32 or more leading zeros throws std::runtime_error.
    std::uint32_t readUnsignedExpGolomb();
    std::int32_t readSignedExpGolomb();

    /// The whole next box, header included, as a stream of its own; advances past it. Size 0
    /// means "to the end of this data"; a size below the header or beyond the bytes left, or a
    /// largesize above 32 bits, throws std::out_of_range "vector".
    BitStream readChildBox(FourCCInt& type);

private:
    std::uint8_t byteAt(std::uint32_t index) const;
    /// The buffer, made this stream's own whole buffer first, for writing.
    std::vector<std::uint8_t>& writable();
    /// After a write to the buffer that writable() gave.
    void grown() { mEnd = std::uint32_t(mBuffer->size()); }
    /// The first byte of the window (null without a buffer).
    const std::uint8_t* bytes() const { return mBuffer ? mBuffer->data() + mBegin : nullptr; }

    // The bytes are the window [mBegin, mEnd) of a buffer possibly shared with other streams.
    // Mutable only so that getStorage() can give a window a buffer of its own.
    mutable std::shared_ptr<std::vector<std::uint8_t>> mBuffer;
    mutable std::uint32_t mBegin = 0;
    mutable std::uint32_t mEnd = 0;
    std::uint32_t mCurrByte = 0;  // write accumulator
    std::uint32_t mByteOffset = 0;
    std::int32_t mBitOffset = 0;
};
