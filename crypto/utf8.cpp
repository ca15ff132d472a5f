#include "crypto/utf8.h"

#include <cstdint>

namespace vellumo {
namespace {

void AppendCodePoint(std::wstring& out, uint32_t cp) {
  if (sizeof(wchar_t) == 2 && cp >= 0x10000) {
    cp -= 0x10000;
    out += static_cast<wchar_t>(0xD800 + (cp >> 10));
    out += static_cast<wchar_t>(0xDC00 + (cp & 0x3FF));
  } else {
    out += static_cast<wchar_t>(cp);
  }
}

}  // namespace

std::string ToUtf8(std::wstring_view text) {
  std::string out;
  out.reserve(text.size());
  for (size_t i = 0; i < text.size(); ++i) {
    uint32_t cp = static_cast<uint32_t>(text[i]);
    if (sizeof(wchar_t) == 2 && cp >= 0xD800 && cp < 0xDC00 && i + 1 < text.size()) {
      const uint32_t low = static_cast<uint32_t>(text[i + 1]);
      if (low >= 0xDC00 && low < 0xE000) {
        cp = 0x10000 + ((cp - 0xD800) << 10) + (low - 0xDC00);
        ++i;
      }
    }
    if ((cp >= 0xD800 && cp < 0xE000) || cp > 0x10FFFF) cp = 0xFFFD;  // lone surrogate
    if (cp < 0x80) {
      out += static_cast<char>(cp);
    } else if (cp < 0x800) {
      out += static_cast<char>(0xC0 | (cp >> 6));
      out += static_cast<char>(0x80 | (cp & 0x3F));
    } else if (cp < 0x10000) {
      out += static_cast<char>(0xE0 | (cp >> 12));
      out += static_cast<char>(0x80 | ((cp >> 6) & 0x3F));
      out += static_cast<char>(0x80 | (cp & 0x3F));
    } else {
      out += static_cast<char>(0xF0 | (cp >> 18));
      out += static_cast<char>(0x80 | ((cp >> 12) & 0x3F));
      out += static_cast<char>(0x80 | ((cp >> 6) & 0x3F));
      out += static_cast<char>(0x80 | (cp & 0x3F));
    }
  }
  return out;
}

bool FromUtf8(std::string_view bytes, std::wstring& text) {
  text.clear();
  bool valid = true;
  size_t i = 0;
  while (i < bytes.size()) {
    const uint8_t c = static_cast<uint8_t>(bytes[i]);
    int extra;
    uint32_t cp, min;
    if (c < 0x80) { cp = c; extra = 0; min = 0; }
    else if (c >= 0xC2 && c < 0xE0) { cp = c & 0x1F; extra = 1; min = 0x80; }
    else if (c >= 0xE0 && c < 0xF0) { cp = c & 0x0F; extra = 2; min = 0x800; }
    else if (c >= 0xF0 && c < 0xF5) { cp = c & 0x07; extra = 3; min = 0x10000; }
    else { extra = -1; cp = 0; min = 0; }
    int k = 1;
    for (; extra > 0 && k <= extra; ++k) {
      if (i + k >= bytes.size() || (static_cast<uint8_t>(bytes[i + k]) & 0xC0) != 0x80) break;
      cp = (cp << 6) | (static_cast<uint8_t>(bytes[i + k]) & 0x3F);
    }
    if (extra < 0 || k <= extra || cp < min || cp > 0x10FFFF || (cp >= 0xD800 && cp < 0xE000)) {
      valid = false;
      AppendCodePoint(text, 0xFFFD);
      i += extra < 0 ? 1 : k;  // skip the lead byte and the continuation bytes seen
      continue;
    }
    AppendCodePoint(text, cp);
    i += 1 + extra;
  }
  return valid;
}

}  // namespace vellumo
