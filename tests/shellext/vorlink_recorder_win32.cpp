// Stand-in for Vellumo.exe in the shell extension's tests: appends its own
// path and its command line, as one UTF-8 line "path|command line", to the
// file named by VORLINK_RECORD, then ends. A window-subsystem program like the
// real one, so no console is set up for it.
#include <windows.h>

#include <string>

namespace {

std::string Utf8(const std::wstring& text) {
  int n = WideCharToMultiByte(CP_UTF8, 0, text.c_str(), -1, nullptr, 0, nullptr, nullptr);
  std::string out(n > 0 ? n - 1 : 0, '\0');
  if (n > 1) WideCharToMultiByte(CP_UTF8, 0, text.c_str(), -1, out.data(), n, nullptr, nullptr);
  return out;
}

}  // namespace

int WINAPI wWinMain(HINSTANCE, HINSTANCE, wchar_t*, int) {
  wchar_t log[MAX_PATH * 2];
  if (!GetEnvironmentVariableW(L"VORLINK_RECORD", log, MAX_PATH * 2)) return 2;
  wchar_t self[MAX_PATH * 2];
  GetModuleFileNameW(nullptr, self, MAX_PATH * 2);
  std::string line = Utf8(self) + "|" + Utf8(GetCommandLineW()) + "\n";
  // Appends are atomic per write, so programs started close together don't mix.
  HANDLE file = CreateFileW(log, FILE_APPEND_DATA, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr,
                            OPEN_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
  if (file == INVALID_HANDLE_VALUE) return 1;
  DWORD written = 0;
  WriteFile(file, line.data(), static_cast<DWORD>(line.size()), &written, nullptr);
  CloseHandle(file);
  return 0;
}
