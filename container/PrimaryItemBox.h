#pragma once

#include "FullBox.h"

// 'pitm': the id of the primary item; 16-bit in version 0, 32-bit otherwise.
class PrimaryItemBox : public FullBox
{
public:
    PrimaryItemBox();
    ~PrimaryItemBox() override = default;

    /// Ids above 65535 switch the box to version 1 so they are not cut when written.
    void setItemId(std::uint32_t itemId);
    std::uint32_t getItemId() const { return mItemId; }

    void writeBox(BitStream& bitstr) override;
    void parseBox(BitStream& bitstr) override;

private:
    std::uint32_t mItemId = 0;
};
