#pragma once

#include <cstdint>
#include <vector>

#include "Box.h"

// A property of a type this library does not model. It keeps the property's place, so that the
// 1-based ipma indices of the properties after it stay right, and its bytes, so that a meta box
// written back still holds the property the associations point at.
class UnknownProperty : public Box
{
public:
    explicit UnknownProperty(FourCCInt type) : Box(type) {}
    ~UnknownProperty() override = default;

    /// The whole box as read, header included; empty for a property built in code.
    const std::vector<std::uint8_t>& getBoxBytes() const { return mBoxBytes; }

    /// Writes the bytes read, unchanged; a property built in code writes an empty box of its type.
    void writeBox(BitStream& bitstr) override;
    /// Keeps every byte of the box; reads its header only to know its type.
    void parseBox(BitStream& bitstr) override;

private:
    std::vector<std::uint8_t> mBoxBytes;
};
