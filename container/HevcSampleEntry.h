#pragma once

#include "CodingConstraintsBox.h"
#include "HevcConfigurationBox.h"
#include "VisualSampleEntryBox.h"

// 'hvc1' sample entry (also read from 'hev1', whose type it keeps): the visual fields, the 'hvcC' decoder
// configuration and optional coding constraints.
class HevcSampleEntry : public VisualSampleEntryBox
{
public:
    HevcSampleEntry();
    ~HevcSampleEntry() override = default;

    HevcConfigurationBox& getHevcConfigurationBox() { return mHevcConfigurationBox; }
    const HevcConfigurationBox& getHevcConfigurationBox() const { return mHevcConfigurationBox; }
    /// The coding constraints when they were read or set, else null.
    const CodingConstraintsBox* getCodingConstraintsBox() const override;
    /// Stores the coding constraints and marks them present.
    void setCodingConstraintsBox(const CodingConstraintsBox& box);

    void writeBox(BitStream& bitstr) override;
    void parseBox(BitStream& bitstr) override;

private:
    HevcConfigurationBox mHevcConfigurationBox;
    CodingConstraintsBox mCodingConstraintsBox;
    bool mIsCodingConstraintsPresent = false;
};
