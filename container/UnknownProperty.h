#pragma once

#include "Box.h"

// Stands in for a property of a type this library does not know, so that the 1-based ipma
// indices of the properties after it stay right. Reads and writes nothing.
class UnknownProperty : public Box
{
public:
    explicit UnknownProperty(FourCCInt type) : Box(type) {}
    ~UnknownProperty() override = default;

    void writeBox(BitStream&) override {}
    void parseBox(BitStream&) override {}
};
