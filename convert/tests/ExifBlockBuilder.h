#pragma once

// Builds Exif blocks ("Exif", 0, 0, TIFF header, IFD0, Exif IFD, GPS IFD) in either byte order
// for the Exif tests. Values longer than four bytes go to a data area after their directory.

#include <cstdint>
#include <fstream>
#include <iterator>
#include <string>
#include <utility>
#include <vector>

namespace exiftest
{
using Bytes = std::vector<std::uint8_t>;

inline Bytes readFile(const std::string& path)
{
    std::ifstream in(path, std::ios::binary);
    return Bytes(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

inline std::string dataPath(const std::string& name)
{
    return std::string(PRAVIX_SOURCE_DIR) + "/convert/tests/data/" + name;
}

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
// A camera-like block: IFD0, Exif and GPS fields of every kind the parser keeps.
inline ExifBlockBuilder cameraBlock(bool intel)
{
    ExifBlockBuilder b(intel);
    b.ifd0.ascii(271, "Apple")
        .ascii(272, "iPhone 7")
        .shorts(274, {6})  // Orientation: not kept
        .rationals(282, {{0x10048, 1}})
        .rationals(283, {{72, 1}})
        .shorts(296, {2})
        .ascii(305, "11.2.1")
        .ascii(306, "2018:01:02 10:11:12")
        .shorts(531, {1})
        .ascii(33432, "Nobody")
        .ascii(270, "A photo");
    b.exif.rationals(33434, {{1, 60}})
        .rationals(33437, {{18, 10}})
        .shorts(34850, {2})
        .shorts(34855, {100})
        .undefined(36864, "0231")
        .ascii(36867, "2018:01:02 10:11:12")
        .ascii(36868, "2018:01:02 10:11:13")
        .ascii(36880, "+08:00")
        .undefined(37121, std::string("\1\2\3\0", 4))
        .rationals(37377, {{0xFFFFFFF6u, 3}}, 10)
        .rationals(37378, {{5, 2}})
        .rationals(37379, {{0xFFFFFFFFu, 2}}, 10)
        .rationals(37380, {{0, 1}}, 10)
        .rationals(37386, {{399, 100}})
        .shorts(37383, {5})
        .shorts(37385, {0x19})
        .shorts(37396, {2015, 1511, 2217, 1330})
        .undefined(37500, std::string("Apple iOS\0\0\1MM", 14))
        .ascii(37521, "123")
        .undefined(40960, "0100")
        .shorts(40961, {1})
        .longs(40962, {4032})
        .shorts(40963, {3024})
        .undefined(41729, std::string("\1", 1))
        .shorts(41989, {28})
        .rationals(42034, {{399, 100}, {399, 100}, {9, 5}, {9, 5}})
        .ascii(42035, "Apple")
        .ascii(42036, "iPhone 7 back camera 3.99mm f/1.8")
        .shorts(42080, {1});
    b.gps.ascii(1, "S")
        .rationals(2, {{31, 1}, {14, 1}, {2406, 100}})
        .ascii(3, "W")
        .rationals(4, {{121, 1}, {30, 1}, {0, 1}})
        .byte(5, std::string("\1", 1))
        .rationals(6, {{1235, 10}})
        .ascii(12, "K")
        .rationals(13, {{3, 1}})
        .ascii(29, "2018:01:02")
        .rationals(31, {{10, 1}});
    return b;
}

}  // namespace exiftest
