#include "fileenc/zip_io.h"

#include <cstdint>

namespace vellumo {
namespace {

// wchar_t holds UTF-32 here; unpaired surrogates and values beyond Unicode
// become U+FFFD so the file name is always valid UTF-8.
std::string Utf8Path(const std::wstring& path) {
  std::string out;
  out.reserve(path.size());
  for (wchar_t wc : path) {
    auto c = static_cast<uint32_t>(wc);
    if ((c >= 0xD800 && c <= 0xDFFF) || c > 0x10FFFF) c = 0xFFFD;
    if (c < 0x80) {
      out += static_cast<char>(c);
    } else if (c < 0x800) {
      out += static_cast<char>(0xC0 | (c >> 6));
      out += static_cast<char>(0x80 | (c & 0x3F));
    } else if (c < 0x10000) {
      out += static_cast<char>(0xE0 | (c >> 12));
      out += static_cast<char>(0x80 | ((c >> 6) & 0x3F));
      out += static_cast<char>(0x80 | (c & 0x3F));
    } else {
      out += static_cast<char>(0xF0 | (c >> 18));
      out += static_cast<char>(0x80 | ((c >> 12) & 0x3F));
      out += static_cast<char>(0x80 | ((c >> 6) & 0x3F));
      out += static_cast<char>(0x80 | (c & 0x3F));
    }
  }
  return out;
}

}  // namespace

zipFile OpenZipForWriting(const std::wstring& path) {
  return zipOpen64(Utf8Path(path).c_str(), APPEND_STATUS_CREATE);
}

unzFile OpenZipForReading(const std::wstring& path) {
  return unzOpen64(Utf8Path(path).c_str());
}

}  // namespace vellumo
