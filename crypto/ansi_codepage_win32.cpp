#include "crypto/ansi_codepage.h"

#include <windows.h>

#include <climits>

namespace vellumo {

// The code page numbers are Windows' own (CP_ACP = 0, CP_THREAD_ACP = 3), so
// they pass straight through. No flags: the system's default character stands
// for what a code page lacks.
static_assert(kSystemAnsiCodePage == CP_ACP && kThreadAnsiCodePage == CP_THREAD_ACP,
              "code page numbers pass straight through to Windows");

std::string ToAnsi(std::wstring_view text, unsigned codePage) {
  if (text.empty() || text.size() > INT_MAX) return {};
  int n = WideCharToMultiByte(codePage, 0, text.data(), static_cast<int>(text.size()), nullptr, 0, nullptr, nullptr);
  std::string out(n > 0 ? n : 0, '\0');
  if (n > 0) WideCharToMultiByte(codePage, 0, text.data(), static_cast<int>(text.size()), out.data(), n, nullptr, nullptr);
  return out;
}

bool IsKnownCodePage(unsigned codePage) {
  return codePage == CP_ACP || codePage == CP_THREAD_ACP || IsValidCodePage(codePage);
}

bool CanEncodeAnsi(std::wstring_view text, unsigned codePage) {
  if (text.empty()) return true;
  if (text.size() > INT_MAX) return false;
  if (codePage == CP_UTF8) {
    // Only unpaired surrogates have no UTF-8 form.
    return WideCharToMultiByte(codePage, WC_ERR_INVALID_CHARS, text.data(), static_cast<int>(text.size()), nullptr,
                               0, nullptr, nullptr) > 0;
  }
  BOOL usedDefault = FALSE;
  const int n = WideCharToMultiByte(codePage, WC_NO_BEST_FIT_CHARS, text.data(), static_cast<int>(text.size()),
                                    nullptr, 0, nullptr, &usedDefault);
  return n > 0 && !usedDefault;
}

std::wstring FromAnsi(std::string_view bytes, unsigned codePage) {
  size_t end = bytes.find('\0');
  if (end != std::string_view::npos) bytes = bytes.substr(0, end);
  if (bytes.empty() || bytes.size() > INT_MAX) return {};
  int n = MultiByteToWideChar(codePage, 0, bytes.data(), static_cast<int>(bytes.size()), nullptr, 0);
  std::wstring out(n > 0 ? n : 0, L'\0');
  if (n > 0) MultiByteToWideChar(codePage, 0, bytes.data(), static_cast<int>(bytes.size()), out.data(), n);
  return out;
}

}  // namespace vellumo
