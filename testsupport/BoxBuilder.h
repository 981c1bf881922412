#pragma once

// Builds box bytes in code for tests, and runs the round-trip and truncation checks every box
// test needs.

#include <gtest/gtest.h>

#include <cstdint>
#include <exception>
#include <memory>
#include <string>
#include <vector>

#include "BitStream.h"

namespace testsupport
{
using Bytes = std::vector<std::uint8_t>;

class ByteBuilder
{
public:
    ByteBuilder& u8(std::uint32_t v)
    {
        mBytes.push_back(std::uint8_t(v));
        return *this;
    }
    ByteBuilder& u16(std::uint32_t v) { return u8(v >> 8).u8(v); }
    ByteBuilder& u24(std::uint32_t v) { return u8(v >> 16).u8(v >> 8).u8(v); }
    ByteBuilder& u32(std::uint32_t v) { return u16(v >> 16).u16(v); }
    ByteBuilder& u64(std::uint64_t v) { return u32(std::uint32_t(v >> 32)).u32(std::uint32_t(v)); }
    ByteBuilder& str(const std::string& s)
    {
        mBytes.insert(mBytes.end(), s.begin(), s.end());
        return *this;
    }
    ByteBuilder& zstr(const std::string& s) { return str(s).u8(0); }
    ByteBuilder& raw(const Bytes& b)
    {
        mBytes.insert(mBytes.end(), b.begin(), b.end());
        return *this;
    }
    ByteBuilder& fullHeader(std::uint8_t version, std::uint32_t flags) { return u8(version).u24(flags); }
    const Bytes& bytes() const { return mBytes; }
    operator Bytes() const { return mBytes; }

private:
    Bytes mBytes;
};

/// A box: 32-bit size, type, payload.
inline Bytes makeBox(const std::string& type, const Bytes& payload)
{
    return ByteBuilder().u32(std::uint32_t(8 + payload.size())).str(type).raw(payload);
}

/// A full box: 32-bit size, type, version, flags, payload.
inline Bytes makeFullBox(const std::string& type, std::uint8_t version, std::uint32_t flags, const Bytes& payload)
{
    return makeBox(type, ByteBuilder().fullHeader(version, flags).raw(payload));
}

inline Bytes concat(std::initializer_list<Bytes> parts)
{
    Bytes out;
    for (const auto& p : parts)
    {
        out.insert(out.end(), p.begin(), p.end());
    }
    return out;
}

template <typename BoxT>
Bytes writeBytes(BoxT& box)
{
    BitStream stream;
    box.writeBox(stream);
    return stream.getStorage();
}

template <typename BoxT>
void parseBytes(BoxT& box, const Bytes& bytes)
{
    BitStream stream(bytes);
    box.parseBox(stream);
}

/// Parses bytes, writes the box back and expects the same bytes.
template <typename BoxT>
void expectRoundTrip(const Bytes& bytes)
{
    BoxT box;
    parseBytes(box, bytes);
    EXPECT_EQ(writeBytes(box), bytes);
}

/// Every proper prefix of a valid box either throws a standard exception or parses to less than
/// the whole box: the parse stays inside the prefix, and the box writes back fewer bytes than the
/// whole box does. A box that made up the missing bytes, or read past the end of its data, fails.
/// Nothing else (a crash, a hang, a sanitizer report, a foreign exception) is acceptable either.
template <typename BoxT, typename MakeBox>
void expectTruncationSafe(const Bytes& bytes, MakeBox makeBox)
{
    auto whole = makeBox();
    parseBytes(*whole, bytes);
    const std::size_t wholeSize = writeBytes(*whole).size();
    for (std::size_t length = 0; length < bytes.size(); ++length)
    {
        Bytes prefix(bytes.begin(), bytes.begin() + std::ptrdiff_t(length));
        auto box = makeBox();
        BitStream stream(prefix);
        try
        {
            box->parseBox(stream);
        }
        catch (const std::exception&)
        {
            continue;
        }
        EXPECT_LE(stream.getPos(), length) << "the parse of a " << length << "-byte prefix read past its end";
        // A box refused for writing is not taken for the whole box either.
        std::size_t writtenSize = 0;
        try
        {
            writtenSize = writeBytes(*box).size();
        }
        catch (const std::exception&)
        {
            continue;
        }
        EXPECT_LT(writtenSize, wholeSize)
            << "a " << length << "-byte prefix of a " << bytes.size() << "-byte box parsed as the whole box";
    }
}

template <typename BoxT>
void expectTruncationSafe(const Bytes& bytes)
{
    expectTruncationSafe<BoxT>(bytes, [] { return std::make_unique<BoxT>(); });
}
}  // namespace testsupport
