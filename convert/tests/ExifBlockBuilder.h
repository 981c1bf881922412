#pragma once

// Builds Exif blocks ("Exif", 0, 0, TIFF header, IFD0, Exif IFD, GPS IFD) in either byte order
// for the Exif tests. Values longer than four bytes go to a data area after their directory.

#include <cstdint>
#include <string>
#include <utility>
#include <vector>

namespace exiftest
{
using Bytes = std::vector<std::uint8_t>;

struct Field
{
    std::uint16_t tag = 0;
    std::uint16_t format = 0;
    std::uint32_t count = 0;
    int unitSize = 1;
    std::vector<std::uint32_t> units;
    bool rawValue = false;  // use `value` as the value-or-offset field as it is
    std::uint32_t value = 0;
};

class Ifd
{
public:
    Ifd& ascii(std::uint16_t tag, const std::string& text, bool zero = true)
    {
        Field f = bytesField(tag, 2, text);
        if (zero)
        {
            f.units.push_back(0);
            ++f.count;
        }
        return add(f);
    }
    Ifd& undefined(std::uint16_t tag, const std::string& bytes) { return add(bytesField(tag, 7, bytes)); }
    Ifd& byte(std::uint16_t tag, const std::string& bytes) { return add(bytesField(tag, 1, bytes)); }
    Ifd& shorts(std::uint16_t tag, std::vector<std::uint32_t> values, std::uint16_t format = 3)
    {
        return add(numbers(tag, format, 2, std::move(values)));
    }
    Ifd& longs(std::uint16_t tag, std::vector<std::uint32_t> values, std::uint16_t format = 4)
    {
        return add(numbers(tag, format, 4, std::move(values)));
    }
    Ifd& rationals(std::uint16_t tag, const std::vector<std::pair<std::uint32_t, std::uint32_t>>& values,
                   std::uint16_t format = 5)
    {
        Field f;
        f.tag = tag;
        f.format = format;
        f.unitSize = 4;
        f.count = std::uint32_t(values.size());
        for (const auto& v : values)
        {
            f.units.push_back(v.first);
            f.units.push_back(v.second);
        }
        return add(f);
    }
    /// An entry whose count and value-or-offset are written as given (hostile offsets, counts).
    Ifd& raw(std::uint16_t tag, std::uint16_t format, std::uint32_t count, std::uint32_t valueOrOffset)
    {
        Field f;
        f.tag = tag;
        f.format = format;
        f.count = count;
        f.rawValue = true;
        f.value = valueOrOffset;
        return add(f);
    }
    bool empty() const { return fields.empty(); }

    std::vector<Field> fields;

private:
    Ifd& add(Field f)
    {
        fields.push_back(std::move(f));
        return *this;
    }
    static Field bytesField(std::uint16_t tag, std::uint16_t format, const std::string& bytes)
    {
        Field f;
        f.tag = tag;
        f.format = format;
        f.count = std::uint32_t(bytes.size());
        for (unsigned char c : bytes)
        {
            f.units.push_back(c);
        }
        return f;
    }
    static Field numbers(std::uint16_t tag, std::uint16_t format, int size, std::vector<std::uint32_t> values)
    {
        Field f;
        f.tag = tag;
        f.format = format;
        f.unitSize = size;
        f.count = std::uint32_t(values.size());
        f.units = std::move(values);
        return f;
    }
};

class ExifBlockBuilder
{
public:
    explicit ExifBlockBuilder(bool intel) : mIntel(intel) {}

    Ifd ifd0, exif, gps;

    Bytes build() const
    {
        std::vector<Field> first = ifd0.fields;
        const std::uint32_t offset0 = 8;
        std::uint32_t exifOffset = 0, gpsOffset = 0;
        // Pointer entries first so that the sizes below count them.
        if (!exif.empty())
        {
            first.push_back(pointer(34665));
        }
        if (!gps.empty())
        {
            first.push_back(pointer(34853));
        }
        exifOffset = offset0 + size(first);
        gpsOffset = exifOffset + (exif.empty() ? 0 : size(exif.fields));
        for (auto& f : first)
        {
            if (f.tag == 34665 && f.rawValue && f.value == kPlaceholder)
            {
                f.value = exifOffset;
            }
            else if (f.tag == 34853 && f.rawValue && f.value == kPlaceholder)
            {
                f.value = gpsOffset;
            }
        }
        Bytes out = {'E', 'x', 'i', 'f', 0, 0};
        Bytes tiff;
        if (mIntel)
        {
            tiff = {'I', 'I'};
        }
        else
        {
            tiff = {'M', 'M'};
        }
        put(tiff, 42, 2);
        put(tiff, offset0, 4);
        writeIfd(tiff, first, offset0);
        if (!exif.empty())
        {
            writeIfd(tiff, exif.fields, exifOffset);
        }
        if (!gps.empty())
        {
            writeIfd(tiff, gps.fields, gpsOffset);
        }
        out.insert(out.end(), tiff.begin(), tiff.end());
        return out;
    }

private:
    static constexpr std::uint32_t kPlaceholder = 0xFFFFFFFFu;

    static Field pointer(std::uint16_t tag)
    {
        Field f;
        f.tag = tag;
        f.format = 4;
        f.count = 1;
        f.rawValue = true;
        f.value = kPlaceholder;
        return f;
    }
    static std::uint32_t dataSize(const Field& f)
    {
        if (f.rawValue)
        {
            return 0;
        }
        const std::uint32_t n = std::uint32_t(f.units.size()) * std::uint32_t(f.unitSize);
        const bool inline4 = n <= 4 && !(f.format == 5 || f.format == 10);
        return inline4 ? 0 : (n + 1) & ~1u;
    }
    static std::uint32_t size(const std::vector<Field>& fields)
    {
        std::uint32_t total = 2 + 12 * std::uint32_t(fields.size()) + 4;
        for (const auto& f : fields)
        {
            total += dataSize(f);
        }
        return total;
    }
    void put(Bytes& out, std::uint32_t v, int size) const
    {
        for (int i = 0; i < size; ++i)
        {
            const int shift = mIntel ? 8 * i : 8 * (size - 1 - i);
            out.push_back(std::uint8_t(v >> shift));
        }
    }
    void writeIfd(Bytes& tiff, const std::vector<Field>& fields, std::uint32_t offset) const
    {
        std::uint32_t dataOffset = offset + 2 + 12 * std::uint32_t(fields.size()) + 4;
        Bytes data;
        put(tiff, std::uint32_t(fields.size()), 2);
        for (const auto& f : fields)
        {
            put(tiff, f.tag, 2);
            put(tiff, f.format, 2);
            put(tiff, f.count, 4);
            if (f.rawValue)
            {
                put(tiff, f.value, 4);
                continue;
            }
            Bytes value;
            for (auto u : f.units)
            {
                put(value, u, f.unitSize);
            }
            if (dataSize(f) == 0)
            {
                value.resize(4, 0);
                tiff.insert(tiff.end(), value.begin(), value.end());
            }
            else
            {
                put(tiff, dataOffset + std::uint32_t(data.size()), 4);
                value.resize(dataSize(f), 0);
                data.insert(data.end(), value.begin(), value.end());
            }
        }
        put(tiff, 0, 4);
        tiff.insert(tiff.end(), data.begin(), data.end());
    }

    bool mIntel;
};
}  // namespace exiftest
