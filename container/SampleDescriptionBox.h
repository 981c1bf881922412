#pragma once

#include <cstdint>
#include <memory>
#include <vector>

#include "FullBox.h"
#include "SampleEntryBox.h"
#include "VisualSampleEntryBox.h"

// 'stsd': the sample entries of a track. An entry of a type this library does not read is held
// as a null pointer, so that the 1-based sample description indices of 'stsc' stay right.
class SampleDescriptionBox : public FullBox
{
public:
    SampleDescriptionBox();
    ~SampleDescriptionBox() override = default;

    void addSampleEntry(std::unique_ptr<SampleEntryBox> sampleEntry) { mIndex.push_back(std::move(sampleEntry)); }
    /// All entries in file order, null for unrecognised ones.
    const std::vector<std::unique_ptr<SampleEntryBox>>& getSampleEntries() const { return mIndex; }
    std::uint32_t getSampleEntryCount() const { return std::uint32_t(mIndex.size()); }

    /// The visual sample entry at a 1-based index. Index 0 or past the end, and an entry that
    /// is unrecognised or not visual, throw std::runtime_error.
    VisualSampleEntryBox* getSampleEntry(std::uint32_t index) const;

    /// Throws std::runtime_error when an entry is unrecognised (it cannot be written back).
    void writeBox(BitStream& bitstr) override;
    void parseBox(BitStream& bitstr) override;

private:
    std::vector<std::unique_ptr<SampleEntryBox>> mIndex;
};
