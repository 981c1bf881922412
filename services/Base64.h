#pragma once

// Base64 of RFC 4648 with the standard alphabet and "=" padding, no line breaks. Plain C++: no Qt.

#include <cstddef>
#include <cstdint>
#include <string>

namespace pravix
{

inline constexpr char Base64Alphabet[65] = "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789+/";

std::string Base64Encode(const uint8_t* data, std::size_t length);

// Decodes up to the end, the first "=" or the first character outside the alphabet, keeping what
// came before it. A last group of 2 or 3 characters gives 1 or 2 bytes; a lone last character
// carries too few bits for a byte and gives none.
std::string Base64Decode(const char* text, std::size_t length);

} // namespace pravix
