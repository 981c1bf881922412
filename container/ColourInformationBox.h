#pragma once

#include <cstdint>
#include <vector>

#include "Box.h"

// 'colr': how an image's colours are to be read. 'nclx' gives the colour primaries, transfer
// characteristics, matrix coefficients and range as code points; 'prof' (restricted) and 'rICC'
// carry an ICC profile; the bytes of any other colour type are kept as they are.
class ColourInformationBox : public Box
{
public:
    ColourInformationBox();
    ~ColourInformationBox() override = default;

    FourCCInt getColourType() const { return mColourType; }
    /// Changing the type keeps the fields of both kinds; only those of the new type are written.
    void setColourType(FourCCInt colourType) { mColourType = colourType; }
    bool isNclx() const { return mColourType == FourCCInt("nclx"); }
    bool hasIccProfile() const { return mColourType == FourCCInt("prof") || mColourType == FourCCInt("rICC"); }

    std::uint16_t getColourPrimaries() const { return mColourPrimaries; }
    void setColourPrimaries(std::uint16_t value) { mColourPrimaries = value; }
    std::uint16_t getTransferCharacteristics() const { return mTransferCharacteristics; }
    void setTransferCharacteristics(std::uint16_t value) { mTransferCharacteristics = value; }
    std::uint16_t getMatrixCoefficients() const { return mMatrixCoefficients; }
    void setMatrixCoefficients(std::uint16_t value) { mMatrixCoefficients = value; }
    bool getFullRangeFlag() const { return mFullRange; }
    void setFullRangeFlag(bool fullRange) { mFullRange = fullRange; }

    /// The bytes after the colour type: the ICC profile of 'prof' and 'rICC', the raw content of
    /// an unknown type; not used for 'nclx'.
    const std::vector<std::uint8_t>& getPayload() const { return mPayload; }
    void setPayload(const std::vector<std::uint8_t>& payload) { mPayload = payload; }

    void writeBox(BitStream& bitstr) override;
    /// A short box throws std::out_of_range "vector". Bytes after the nclx fields are ignored.
    void parseBox(BitStream& bitstr) override;

private:
    FourCCInt mColourType;
    std::uint16_t mColourPrimaries = 2;  // 2 = unspecified
    std::uint16_t mTransferCharacteristics = 2;
    std::uint16_t mMatrixCoefficients = 2;
    bool mFullRange = false;
    std::vector<std::uint8_t> mPayload;
};
