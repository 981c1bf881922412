#include "ImageOverlay.h"

namespace
{
constexpr std::uint32_t kLargeFields = 1;

bool fitsInt16(std::int32_t value)
{
    return value >= -32768 && value <= 32767;
}
}  // namespace

ImageOverlay parseImageOverlay(BitStream& bitstr)
{
    ImageOverlay overlay;
    bitstr.readU8();  // version, not checked
    const bool large = (bitstr.readU8() & kLargeFields) != 0;
    overlay.fillRed = std::uint16_t(bitstr.readU16());
    overlay.fillGreen = std::uint16_t(bitstr.readU16());
    overlay.fillBlue = std::uint16_t(bitstr.readU16());
    overlay.fillAlpha = std::uint16_t(bitstr.readU16());
    if (large)
    {
        overlay.outputWidth = bitstr.readU32();
        overlay.outputHeight = bitstr.readU32();
    }
    else
    {
        overlay.outputWidth = bitstr.readU16();
        overlay.outputHeight = bitstr.readU16();
    }
    auto readOffset = [&bitstr, large]() -> std::int32_t
    {
        if (large)
        {
            return std::int32_t(bitstr.readU32());
        }
        return std::int16_t(std::uint16_t(bitstr.readU16()));
    };
    while (bitstr.numBytesLeft() > 0)
    {
        const std::int32_t horizontal = readOffset();
        const std::int32_t vertical = readOffset();
        overlay.offsets.emplace_back(horizontal, vertical);
    }
    return overlay;
}

void writeImageOverlay(const ImageOverlay& overlay, BitStream& bitstr)
{
    bool large = overlay.outputWidth > 0xFFFF || overlay.outputHeight > 0xFFFF;
    for (const auto& offset : overlay.offsets)
    {
        large = large || !fitsInt16(offset.first) || !fitsInt16(offset.second);
    }
    bitstr.writeU8(0);
    bitstr.writeU8(large ? kLargeFields : 0);
    bitstr.writeU16(overlay.fillRed);
    bitstr.writeU16(overlay.fillGreen);
    bitstr.writeU16(overlay.fillBlue);
    bitstr.writeU16(overlay.fillAlpha);
    auto writeValue = [&bitstr, large](std::uint32_t value)
    {
        if (large)
        {
            bitstr.writeU32(value);
        }
        else
        {
            bitstr.writeU16(std::uint16_t(value));
        }
    };
    writeValue(overlay.outputWidth);
    writeValue(overlay.outputHeight);
    for (const auto& offset : overlay.offsets)
    {
        writeValue(std::uint32_t(offset.first));
        writeValue(std::uint32_t(offset.second));
    }
}
