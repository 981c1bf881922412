#pragma once

#include <cstdint>
#include <memory>
#include <string>

#include "CleanAperture.h"
#include "CodingConstraintsBox.h"
#include "SampleEntryBox.h"

// Fixed fields of a visual sample entry ('avc1', 'hvc1', ...) and an optional leading 'clap'.
// Subclasses read the rest of the children.
class VisualSampleEntryBox : public SampleEntryBox
{
public:
    static constexpr std::uint32_t COMPRESSORNAME_STRING_LENGTH = 31;

    /// A name longer than COMPRESSORNAME_STRING_LENGTH bytes throws std::runtime_error.
    VisualSampleEntryBox(FourCCInt codingName, const std::string& compressorName);
    ~VisualSampleEntryBox() override = default;

    void writeBox(BitStream& bitstr) override;
    void parseBox(BitStream& bitstr) override;
    /// The coding constraints of the entry, or null when it has none.
    virtual const CodingConstraintsBox* getCodingConstraintsBox() const { return nullptr; }

    std::uint16_t getWidth() const { return mWidth; }
    void setWidth(std::uint16_t width) { mWidth = width; }
    std::uint16_t getHeight() const { return mHeight; }
    void setHeight(std::uint16_t height) { mHeight = height; }
    const std::string& getCompressorName() const { return mCompressorName; }
    /// The field holds at most COMPRESSORNAME_STRING_LENGTH bytes; a longer name throws
    /// std::runtime_error and the old name stays.
    void setCompressorName(const std::string& compressorName);
    /// The clean aperture read from the entry, or null.
    std::shared_ptr<const CleanAperture> getClap() const { return mClap; }
    void setClap(std::shared_ptr<CleanAperture> clap) { mClap = std::move(clap); }

private:
    std::uint16_t mWidth = 0;
    std::uint16_t mHeight = 0;
    std::string mCompressorName;
    std::shared_ptr<CleanAperture> mClap;
};
