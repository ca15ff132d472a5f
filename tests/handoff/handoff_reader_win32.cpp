// Reads the handoff block in a process of its own and prints the entries, one
// per line as UTF-8, after a first line "ok" or "none"; then reads again.
#include <windows.h>

#include <cstdio>
#include <string>
#include <vector>

#include "handoff/handoff_layout.h"
#include "handoff/handoff_block_win32.h"

namespace {
void Print(const std::wstring& text) {
  int n = WideCharToMultiByte(CP_UTF8, 0, text.c_str(), static_cast<int>(text.size()), nullptr, 0, nullptr, nullptr);
  std::string bytes(n > 0 ? n : 0, '\0');
  if (n > 0) WideCharToMultiByte(CP_UTF8, 0, text.c_str(), static_cast<int>(text.size()), bytes.data(), n, nullptr, nullptr);
  std::printf("%s\n", bytes.c_str());
}
}  // namespace

int wmain() {
  for (int pass = 0; pass < 2; ++pass) {
    std::vector<std::wstring> paths;
    vellumo::CProcessMap map;
    bool found = map.ReadList(vellumo::kHandoffName, paths);
    std::printf("%s %zu\n", found ? "ok" : "none", paths.size());
    for (const auto& p : paths) Print(p);
  }
  return 0;
}
