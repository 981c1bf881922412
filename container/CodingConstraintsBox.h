#pragma once

#include <cstdint>

#include "FullBox.h"

// 'ccst': what a decoder may rely on in an image sequence's coded pictures.
class CodingConstraintsBox : public FullBox
{
public:
    CodingConstraintsBox();
    ~CodingConstraintsBox() override = default;

    bool getAllRefPicsIntra() const { return mAllRefPicsIntra; }
    void setAllRefPicsIntra(bool allRefPicsIntra) { mAllRefPicsIntra = allRefPicsIntra; }
    bool getIntraPredUsed() const { return mIntraPredUsed; }
    void setIntraPredUsed(bool intraPredUsed) { mIntraPredUsed = intraPredUsed; }
    std::uint8_t getMaxRefPerPic() const { return mMaxRefPerPic; }
    /// Takes the low 8 bits; the 4-bit field holds at most 15 (15 also means "any number").
    void setMaxRefPerPic(std::uint32_t maxRefPerPic);

    void writeBox(BitStream& bitstr) override;
    void parseBox(BitStream& bitstr) override;

private:
    bool mAllRefPicsIntra = false;
    bool mIntraPredUsed = false;
    std::uint8_t mMaxRefPerPic = 0;
};
