#pragma once

// Shared helpers of the stream-parser tests: test-stream files, NAL unit splitting, and a bit
// writer for building parameter sets and slice headers in code.

#include <cstdint>
#include <fstream>
#include <iterator>
#include <sstream>
#include <string>
#include <vector>

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

/// MSB-first bit writer with Exp-Golomb codes; rbsp() adds the stop bit and alignment, and
/// nalUnit() the start code, the header byte and emulation prevention.
class BitWriter
{
public:
    BitWriter& bits(std::uint64_t value, unsigned count)
    {
        for (unsigned i = count; i-- > 0;)
        {
            mBits.push_back(((value >> i) & 1u) != 0);
        }
        return *this;
    }
    BitWriter& flag(bool value) { return bits(value ? 1 : 0, 1); }
    BitWriter& ue(std::uint64_t value)
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
    BitWriter& se(std::int64_t value)
    {
        return ue(value > 0 ? std::uint64_t(2 * value - 1) : std::uint64_t(-2 * value));
    }

    Bytes rbsp() const
    {
        std::vector<bool> all = mBits;
        all.push_back(true);
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

    Bytes nalUnit(std::uint8_t header) const
    {
        Bytes out{0, 0, 0, 1, header};
        unsigned zeros = 0;
        for (std::uint8_t b : rbsp())
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
}  // namespace parsertest
