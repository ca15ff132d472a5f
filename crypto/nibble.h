#pragma once
// Letter-nibble text: each nibble becomes one of P, A, B, ... O (0 .. 15), high
// nibble first. Decoding keeps only the low four bits of each character.
#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

namespace vellumo {

std::wstring NibbleEncode(const uint8_t* bytes, size_t length);
// One byte per pair of characters; an odd last character pairs with a zero nibble.
std::vector<uint8_t> NibbleDecode(std::wstring_view text);

}  // namespace vellumo
