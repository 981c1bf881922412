#pragma once

#include <cstdint>
#include <ostream>
#include <string>

// A four-character code held as one 32-bit value, first character in the most significant
// byte, so that codes compare and sort as integers and can key ordered maps.
class FourCCInt
{
public:
    FourCCInt() = default;
    FourCCInt(std::uint32_t value) : mValue(value) {}
    explicit FourCCInt(const std::string& code);
    FourCCInt(const char* code) : FourCCInt(std::string(code)) {}

    std::uint32_t getUInt32() const { return mValue; }
    operator std::uint32_t() const { return mValue; }
    std::string getString() const;

    bool operator==(FourCCInt other) const { return mValue == other.mValue; }
    bool operator!=(FourCCInt other) const { return mValue != other.mValue; }
    bool operator<(FourCCInt other) const { return mValue < other.mValue; }

private:
    std::uint32_t mValue = 0;
};

std::ostream& operator<<(std::ostream& out, FourCCInt code);
