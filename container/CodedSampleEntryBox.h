#pragma once

#include <string>

#include "CodingConstraintsBox.h"
#include "VisualSampleEntryBox.h"

// A visual sample entry of a coded format ('avc1', 'hvc1'): the visual fields, then the
// format's decoder configuration box and optional coding constraints. Other children are
// skipped with a warning.
class CodedSampleEntryBox : public VisualSampleEntryBox
{
public:
    ~CodedSampleEntryBox() override = default;

    /// The coding constraints when they were read or set, else null.
    const CodingConstraintsBox* getCodingConstraintsBox() const override;
    /// Stores the coding constraints and marks them present.
    void setCodingConstraintsBox(const CodingConstraintsBox& box);

    void writeBox(BitStream& bitstr) override;
    void parseBox(BitStream& bitstr) override;

protected:
    /// entryName names the entry in the warning about an unknown child.
    CodedSampleEntryBox(FourCCInt codingName, const std::string& compressorName, const char* entryName);

    /// The format's decoder configuration box; a child of its type is parsed into it.
    virtual Box& getDecoderConfigurationBox() = 0;

private:
    CodingConstraintsBox mCodingConstraintsBox;
    bool mIsCodingConstraintsPresent = false;
    const char* mEntryName;
};
