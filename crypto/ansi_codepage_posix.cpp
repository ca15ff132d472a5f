#include "crypto/ansi_codepage.h"

#include <iconv.h>

#include <cerrno>
#include <cstdint>
#include <string>

namespace vellumo {
namespace {

std::string IconvName(unsigned codePage) {
  switch (codePage) {
    case kSystemAnsiCodePage:
    case kThreadAnsiCodePage:
    case 936: return "CP936";
    case 65001: return "UTF-8";
    case 20127: return "ASCII";
    case 28591: return "ISO-8859-1";
    default: return "CP" + std::to_string(codePage);
  }
}

// wchar_t holds UTF-32 in the machine's byte order here.
const char* WideName() { return "WCHAR_T"; }

class Converter {
 public:
  Converter(const std::string& to, const std::string& from) : cd_(iconv_open(to.c_str(), from.c_str())) {}
  ~Converter() {
    if (ok()) iconv_close(cd_);
  }
  Converter(const Converter&) = delete;
  Converter& operator=(const Converter&) = delete;
  bool ok() const { return cd_ != reinterpret_cast<iconv_t>(-1); }
  iconv_t get() const { return cd_; }

 private:
  iconv_t cd_;
};

}  // namespace

std::string ToAnsi(std::wstring_view text, unsigned codePage) {
  Converter conv(IconvName(codePage), WideName());
  std::string out;
  if (!conv.ok()) {
    // An unknown code page: keep what ASCII can say.
    for (wchar_t c : text) out += static_cast<uint32_t>(c) < 0x80 ? static_cast<char>(c) : '?';
    return out;
  }
  char buffer[64];
  const wchar_t* p = text.data();
  size_t left = text.size();
  while (left > 0) {
    char* in = const_cast<char*>(reinterpret_cast<const char*>(p));
    size_t inBytes = left * sizeof(wchar_t);
    char* dst = buffer;
    size_t room = sizeof buffer;
    size_t r = iconv(conv.get(), &in, &inBytes, &dst, &room);
    out.append(buffer, static_cast<size_t>(dst - buffer));
    size_t consumed = left - inBytes / sizeof(wchar_t);
    p += consumed;
    left -= consumed;
    if (r == static_cast<size_t>(-1) && errno != E2BIG) {
      // A character the code page lacks becomes its default character, once
      // per UTF-16 unit as on Windows: one beyond U+FFFF gives two.
      out += static_cast<uint32_t>(*p) > 0xFFFF ? "??" : "?";
      ++p;
      --left;
      iconv(conv.get(), nullptr, nullptr, nullptr, nullptr);
    }
  }
  // Flush any shift state.
  char* dst = buffer;
  size_t room = sizeof buffer;
  iconv(conv.get(), nullptr, nullptr, &dst, &room);
  out.append(buffer, static_cast<size_t>(dst - buffer));
  return out;
}

bool IsKnownCodePage(unsigned codePage) { return Converter(IconvName(codePage), WideName()).ok(); }

bool CanEncodeAnsi(std::wstring_view text, unsigned codePage) {
  Converter conv(IconvName(codePage), WideName());
  if (!conv.ok()) {
    for (wchar_t c : text) {
      if (static_cast<uint32_t>(c) >= 0x80) return false;
    }
    return true;
  }
  char buffer[64];
  char* in = const_cast<char*>(reinterpret_cast<const char*>(text.data()));
  size_t inBytes = text.size() * sizeof(wchar_t);
  while (inBytes > 0) {
    char* dst = buffer;
    size_t room = sizeof buffer;
    if (iconv(conv.get(), &in, &inBytes, &dst, &room) == static_cast<size_t>(-1) && errno != E2BIG) return false;
  }
  return true;
}

std::wstring FromAnsi(std::string_view bytes, unsigned codePage) {
  size_t end = bytes.find('\0');
  if (end != std::string_view::npos) bytes = bytes.substr(0, end);
  std::wstring out;
  Converter conv(WideName(), IconvName(codePage));
  if (!conv.ok()) {
    for (char c : bytes) out += static_cast<unsigned char>(c) < 0x80 ? static_cast<wchar_t>(c) : L'?';
    return out;
  }
  wchar_t buffer[64];
  const char* p = bytes.data();
  size_t left = bytes.size();
  while (left > 0) {
    char* in = const_cast<char*>(p);
    size_t inBytes = left;
    char* dst = reinterpret_cast<char*>(buffer);
    size_t room = sizeof buffer;
    size_t r = iconv(conv.get(), &in, &inBytes, &dst, &room);
    out.append(buffer, static_cast<size_t>(reinterpret_cast<wchar_t*>(dst) - buffer));
    size_t consumed = left - inBytes;
    p += consumed;
    left -= consumed;
    if (r == static_cast<size_t>(-1) && errno != E2BIG) {
      // An invalid or cut-off sequence: one default character for its first
      // byte, then carry on with the next.
      out += L'?';
      ++p;
      --left;
      iconv(conv.get(), nullptr, nullptr, nullptr, nullptr);
    }
  }
  return out;
}

}  // namespace vellumo
