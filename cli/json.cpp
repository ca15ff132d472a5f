#include "cli/json.h"

#include <cstdio>

namespace vellumo::cli {
namespace {

void AppendEscape(std::string& out, unsigned unit) {
  char escape[8];
  std::snprintf(escape, sizeof escape, "\\u%04x", unit & 0xFFFFu);
  out += escape;
}

}  // namespace

std::string JsonString(const std::wstring& text) {
  std::string out = "\"";
  for (const wchar_t c : text) {
    const auto code = static_cast<uint32_t>(c);
    if (c == L'"') {
      out += "\\\"";
    } else if (c == L'\\') {
      out += "\\\\";
    } else if (c == L'\n') {
      out += "\\n";
    } else if (c == L'\r') {
      out += "\\r";
    } else if (c == L'\t') {
      out += "\\t";
    } else if (code >= 0x20 && code < 0x7F) {
      out += static_cast<char>(code);
    } else if (code > 0xFFFF) {  // beyond the BMP (POSIX wchar_t): a surrogate pair
      AppendEscape(out, 0xD800 + ((code - 0x10000) >> 10));
      AppendEscape(out, 0xDC00 + ((code - 0x10000) & 0x3FF));
    } else {
      AppendEscape(out, code);
    }
  }
  return out + "\"";
}

JsonList& JsonList::Add(const std::string& json) {
  if (!first_) text_ += ',';
  first_ = false;
  text_ += json;
  return *this;
}

JsonList& JsonList::Add(const char* name, const std::string& json) {
  return Add("\"" + std::string(name) + "\":" + json);
}

}  // namespace vellumo::cli
