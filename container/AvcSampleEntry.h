#pragma once

#include "AvcConfigurationBox.h"
#include "CodingConstraintsBox.h"
#include "VisualSampleEntryBox.h"

// 'avc1' sample entry: the visual fields, the 'avcC' decoder
// configuration and optional coding constraints.
class AvcSampleEntry : public VisualSampleEntryBox
{
public:
    AvcSampleEntry();
    ~AvcSampleEntry() override = default;

    AvcConfigurationBox& getAvcConfigurationBox() { return mAvcConfigurationBox; }
    const AvcConfigurationBox& getAvcConfigurationBox() const { return mAvcConfigurationBox; }
    /// The coding constraints when they were read or set, else null.
    const CodingConstraintsBox* getCodingConstraintsBox() const override;
    /// Stores the coding constraints and marks them present.
    void setCodingConstraintsBox(const CodingConstraintsBox& box);

    void writeBox(BitStream& bitstr) override;
    void parseBox(BitStream& bitstr) override;

private:
    AvcConfigurationBox mAvcConfigurationBox;
    CodingConstraintsBox mCodingConstraintsBox;
    bool mIsCodingConstraintsPresent = false;
};
