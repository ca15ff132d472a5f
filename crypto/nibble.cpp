#include "crypto/nibble.h"

namespace vellumo {
namespace {
wchar_t NibbleLetter(unsigned v) { return v == 0 ? L'P' : static_cast<wchar_t>(0x40 + v); }
}  // namespace

std::wstring NibbleEncode(const uint8_t* bytes, size_t length) {
  std::wstring text;
  text.reserve(2 * length);
  for (size_t i = 0; i < length; ++i) {
    text += NibbleLetter(bytes[i] >> 4);
    text += NibbleLetter(bytes[i] & 0x0F);
  }
  return text;
}

std::vector<uint8_t> NibbleDecode(std::wstring_view text) {
  std::vector<uint8_t> bytes((text.size() + 1) / 2);
  for (size_t i = 0; i < bytes.size(); ++i) {
    unsigned hi = static_cast<unsigned>(text[2 * i]);
    unsigned lo = 2 * i + 1 < text.size() ? static_cast<unsigned>(text[2 * i + 1]) : 0;
    bytes[i] = static_cast<uint8_t>(((hi << 4) | (lo & 0x0F)) & 0xFF);
  }
  return bytes;
}

}  // namespace vellumo
