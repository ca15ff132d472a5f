#include "handoff/handoff_layout.h"

namespace vellumo {
namespace {

void AppendUtf16(std::vector<uint16_t>& out, const std::wstring& text) {
  for (wchar_t c : text) {
    uint32_t cp = static_cast<uint32_t>(c);
    if (sizeof(wchar_t) == 4 && cp >= 0x10000) {
      cp -= 0x10000;
      out.push_back(static_cast<uint16_t>(0xD800 + (cp >> 10)));
      out.push_back(static_cast<uint16_t>(0xDC00 + (cp & 0x3FF)));
    } else {
      out.push_back(static_cast<uint16_t>(cp));
    }
  }
}

std::wstring FromUtf16(const uint16_t* p, size_t n) {
  std::wstring out;
  for (size_t i = 0; i < n; ++i) {
    uint32_t c = p[i];
    if (sizeof(wchar_t) == 4 && c >= 0xD800 && c < 0xDC00 && i + 1 < n && p[i + 1] >= 0xDC00 && p[i + 1] < 0xE000) {
      c = 0x10000 + ((c - 0xD800) << 10) + (p[++i] - 0xDC00);
    }
    out += static_cast<wchar_t>(c);
  }
  return out;
}

}  // namespace

std::vector<uint16_t> EncodeHandoffBlock(const std::vector<std::wstring>& paths) {
  std::vector<uint16_t> text;
  for (const std::wstring& path : paths) {
    AppendUtf16(text, path);
    text.push_back(u'|');
    if (text.size() * 2 > kHandoffTextLimit) break;
  }
  // An entry over 512 characters could still overflow the last 1024 bytes;
  // such a list is cut before that entry rather than written past the block.
  while (text.size() + 1 > kHandoffBlockSize / 2) {
    size_t last = text.size() - 1;  // its separator
    while (last > 0 && text[last - 1] != u'|') --last;
    text.resize(last);
  }
  std::vector<uint16_t> block(kHandoffBlockSize / 2, 0);
  std::copy(text.begin(), text.end(), block.begin());
  return block;  // the end mark is the zero after the text
}

std::vector<std::wstring> DecodeHandoffBlock(const uint16_t* block, size_t units) {
  std::vector<std::wstring> entries;
  size_t start = 0;
  for (size_t i = 0; i < units && block[i] != 0; ++i) {
    if (block[i] == u'|') {
      entries.push_back(FromUtf16(block + start, i - start));
      start = i + 1;
    }
  }
  return entries;
}

}  // namespace vellumo
