#include "ImageOverlay.h"

#include "ImageFieldSize.h"

namespace
{
bool fitsInt16(std::int32_t value)
{
    return value >= -32768 && value <= 32767;
}
}  // namespace

ImageOverlay parseImageOverlay(BitStream& bitstr)
{
    ImageOverlay overlay;
    bitstr.readU8();  // version, not checked
    const bool large = (bitstr.readU8() & ImageFieldSize::LARGE_FIELDS_FLAG) != 0;
    overlay.fillRed = std::uint16_t(bitstr.readU16());
    overlay.fillGreen = std::uint16_t(bitstr.readU16());
    overlay.fillBlue = std::uint16_t(bitstr.readU16());
    overlay.fillAlpha = std::uint16_t(bitstr.readU16());
    overlay.outputWidth = ImageFieldSize::read(bitstr, large);
    overlay.outputHeight = ImageFieldSize::read(bitstr, large);
    // Offsets are signed: the 16-bit form is sign-extended.
    auto readOffset = [&bitstr, large]() -> std::int32_t
    {
        const std::uint32_t value = ImageFieldSize::read(bitstr, large);
        return large ? std::int32_t(value) : std::int32_t(std::int16_t(std::uint16_t(value)));
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
    bitstr.writeU8(large ? ImageFieldSize::LARGE_FIELDS_FLAG : 0);
    bitstr.writeU16(overlay.fillRed);
    bitstr.writeU16(overlay.fillGreen);
    bitstr.writeU16(overlay.fillBlue);
    bitstr.writeU16(overlay.fillAlpha);
    ImageFieldSize::write(bitstr, large, overlay.outputWidth);
    ImageFieldSize::write(bitstr, large, overlay.outputHeight);
    for (const auto& offset : overlay.offsets)
    {
        ImageFieldSize::write(bitstr, large, std::uint32_t(offset.first));
        ImageFieldSize::write(bitstr, large, std::uint32_t(offset.second));
    }
}
