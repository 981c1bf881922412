#pragma once

#include <cstdint>

#include "BitStream.h"

// One entry of a sample group description; the grouping type decides the subclass.
class SampleGroupEntry
{
public:
    virtual ~SampleGroupEntry() = default;

    /// Byte size of the entry as written.
    virtual std::uint32_t getSize() const = 0;
    virtual void writeEntry(BitStream& bitstr) = 0;
    virtual void parseEntry(BitStream& bitstr) = 0;
};
