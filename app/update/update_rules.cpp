#include "app/update/update_rules.h"

#include <cwctype>

namespace vellumo {
namespace {

bool StartsWithNoCase(std::wstring_view text, std::wstring_view prefix) {
  if (text.size() < prefix.size()) return false;
  for (size_t i = 0; i < prefix.size(); ++i)
    if (static_cast<wchar_t>(std::towlower(static_cast<wint_t>(text[i]))) != prefix[i]) return false;
  return true;
}

bool IsLoopbackIpv4(std::wstring_view host) {
  int parts = 0;
  size_t i = 0;
  int first = -1;
  while (i <= host.size()) {
    size_t start = i;
    int value = 0;
    while (i < host.size() && host[i] >= L'0' && host[i] <= L'9' && i - start < 3) value = value * 10 + (host[i++] - L'0');
    if (i == start || value > 255) return false;
    if (parts == 0) first = value;
    ++parts;
    if (i == host.size()) break;
    if (host[i] != L'.') return false;
    ++i;
  }
  return parts == 4 && first == 127;
}

}  // namespace

bool UpdateCheckDue(uint32_t last, int64_t now) {
  return now - static_cast<int64_t>(last) >= kUpdateCheckInterval;
}

bool IsAllowedUpdaterAddress(std::wstring_view url) {
  bool https = StartsWithNoCase(url, L"https://");
  if (!https && !StartsWithNoCase(url, L"http://")) return false;
  std::wstring_view rest = url.substr(https ? 8 : 7);
  std::wstring_view authority = rest.substr(0, rest.find_first_of(L"/?#\\"));
  // "http://127.0.0.1@elsewhere/" names elsewhere.
  if (authority.empty() || authority.find(L'@') != std::wstring_view::npos) return false;
  if (https) return true;

  std::wstring_view host = authority;
  if (host.front() == L'[') {
    size_t close = host.find(L']');
    if (close == std::wstring_view::npos) return false;
    std::wstring_view after = host.substr(close + 1);
    if (!after.empty() && after.front() != L':') return false;
    host = host.substr(0, close + 1);
    return host == L"[::1]";
  }
  host = host.substr(0, host.find(L':'));
  if (host.size() == 9 && StartsWithNoCase(host, L"localhost")) return true;
  return IsLoopbackIpv4(host);
}

}  // namespace vellumo
