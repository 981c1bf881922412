#pragma once

// Shared helpers of the stream-parser tests: test-stream files, NAL unit splitting, and the bit
// writer for building parameter sets and slice headers in code.

#include <cstdint>
#include <fstream>
#include <iterator>
#include <sstream>
#include <string>
#include <vector>

#include "BitStream.h"
#include "ParserInterface.h"

namespace parsertest
{
using Bytes = std::vector<std::uint8_t>;

inline std::string dataPath(const std::string& name)
{
    return std::string(PRAVIX_PARSER_DATA_DIR) + "/" + name;
}

inline Bytes readFile(const std::string& path)
{
    std::ifstream in(path, std::ios::binary);
    return Bytes(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

/// Splits a byte stream into units with ParserInterface::readNalUnit.
inline std::vector<Bytes> splitUnits(const Bytes& stream)
{
    std::istringstream in(std::string(stream.begin(), stream.end()));
    std::vector<Bytes> units;
    for (;;)
    {
        Bytes unit;
        ParserInterface::readNalUnit(in, unit);
        if (unit.empty())
        {
            return units;
        }
        units.push_back(std::move(unit));
    }
}

/// The first unit of the given nal_unit_type in a file.
inline Bytes firstUnitOfType(const std::string& file, unsigned type)
{
    for (const auto& unit : splitUnits(readFile(dataPath(file))))
    {
        if ((unit[findNalUnitHeader(unit, 1)] & 0x1F) == type)
        {
            return unit;
        }
    }
    return {};
}

/// A bit stream over a unit in byte-stream form: its NAL unit header, then the RBSP.
inline BitStream rbspStream(const Bytes& unit)
{
    Bytes rbsp;
    convertByteStreamToRBSP(unit, rbsp);
    return BitStream(std::move(rbsp));
}

/// MSB-first bit writer with Exp-Golomb codes, shared by the H.264 and H.265 tests. Derived is
/// the writer the chained calls return, so that a codec's own helpers chain with these.
template <typename Derived>
class BasicBitWriter
{
public:
    Derived& bits(std::uint64_t value, unsigned count)
    {
        for (unsigned i = count; i-- > 0;)
        {
            mBits.push_back(((value >> i) & 1u) != 0);
        }
        return static_cast<Derived&>(*this);
    }
    Derived& flag(bool value) { return bits(value ? 1 : 0, 1); }
    Derived& ue(std::uint64_t value)
    {
        const std::uint64_t code = value + 1;
        unsigned length = 0;
        while ((code >> length) > 1)
        {
            ++length;
        }
        bits(0, length);
        return bits(code, length + 1);
    }
    Derived& se(std::int64_t value) { return ue(value > 0 ? std::uint64_t(2 * value - 1) : std::uint64_t(-2 * value)); }
    bool aligned() const { return mBits.size() % 8 == 0; }

protected:
    /// The bits written so far as bytes: with trailingBits the stop bit and zero bits up to the
    /// byte boundary follow them; without, a last partial byte is filled with zero bits.
    Bytes toBytes(bool trailingBits) const
    {
        std::vector<bool> all = mBits;
        if (trailingBits)
        {
            all.push_back(true);
        }
        while (all.size() % 8 != 0)
        {
            all.push_back(false);
        }
        Bytes out;
        for (std::size_t i = 0; i < all.size(); i += 8)
        {
            std::uint8_t b = 0;
            for (std::size_t j = 0; j < 8; ++j)
            {
                b = std::uint8_t((b << 1) | (all[i + j] ? 1 : 0));
            }
            out.push_back(b);
        }
        return out;
    }

    /// A four-byte start code, the header bytes, then payload with emulation prevention.
    static Bytes withStartCode(Bytes header, const Bytes& payload)
    {
        Bytes out{0, 0, 0, 1};
        for (std::uint8_t b : header)
        {
            out.push_back(b);
        }
        unsigned zeros = 0;
        for (std::uint8_t b : payload)
        {
            if (zeros >= 2 && b <= 3)
            {
                out.push_back(3);
                zeros = 0;
            }
            out.push_back(b);
            zeros = (b == 0) ? zeros + 1 : 0;
        }
        return out;
    }

private:
    std::vector<bool> mBits;
};

/// The H.264 writer: rbsp() adds the stop bit and alignment, and nalUnit() the start code, the
/// header byte and emulation prevention.
class BitWriter : public BasicBitWriter<BitWriter>
{
public:
    Bytes rbsp() const { return toBytes(true); }
    Bytes nalUnit(std::uint8_t header) const { return withStartCode({header}, rbsp()); }
};

inline Bytes join(const std::vector<Bytes>& parts)
{
    Bytes out;
    for (const auto& p : parts)
    {
        out.insert(out.end(), p.begin(), p.end());
    }
    return out;
}

/// Every picture the parser hands out from here on, in decoding order.
inline std::vector<ParserInterface::PictureData> parseAll(ParserInterface& parser)
{
    std::vector<ParserInterface::PictureData> pictures;
    ParserInterface::PictureData picture;
    while (parser.parseNextPicture(picture))
    {
        pictures.push_back(picture);
    }
    return pictures;
}

/// One field of every picture, in decoding order.
template <typename Field>
std::vector<Field> fieldOfEach(const std::vector<ParserInterface::PictureData>& pictures,
                               Field ParserInterface::PictureData::*field)
{
    std::vector<Field> values;
    for (const auto& picture : pictures)
    {
        values.push_back(picture.*field);
    }
    return values;
}

inline void writeFile(const std::string& path, const Bytes& bytes)
{
    std::ofstream out(path, std::ios::binary | std::ios::trunc);
    out.write(reinterpret_cast<const char*>(bytes.data()), std::streamsize(bytes.size()));
}

}  // namespace parsertest
