#pragma once

#include <cstdint>
#include <vector>

#include "Box.h"

// 'idat': item bytes stored inside the 'meta' box, addressed by construction method 1 of 'iloc'.
class ItemDataBox : public Box
{
public:
    ItemDataBox();
    ~ItemDataBox() override = default;

    /// Appends the bytes; returns the offset at which they start. Throws std::runtime_error when
    /// the data would no longer be addressable with 32-bit offsets.
    std::uint32_t addData(const std::vector<std::uint8_t>& data);
    /// Appends data[offset, offset + length) to dest; a range outside the data throws
    /// std::out_of_range "vector" and leaves dest untouched.
    void read(std::vector<std::uint8_t>& dest, std::uint64_t offset, std::uint64_t length) const;
    const std::vector<std::uint8_t>& getData() const { return mData; }

    /// Writes nothing when there is no data.
    void writeBox(BitStream& bitstr) override;
    void parseBox(BitStream& bitstr) override;

private:
    std::vector<std::uint8_t> mData;
};
