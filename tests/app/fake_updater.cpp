// Stands in for the vendor's updater in the update-check tests: records that it
// was started by writing a file beside itself.
#include <windows.h>

#include <string>

int WINAPI wWinMain(HINSTANCE, HINSTANCE, PWSTR, int) {
  wchar_t path[MAX_PATH] = {};
  GetModuleFileNameW(nullptr, path, MAX_PATH);
  std::wstring marker = path;
  marker = marker.substr(0, marker.find_last_of(L'\\') + 1) + L"updater-ran.txt";
  HANDLE file = CreateFileW(marker.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
  if (file == INVALID_HANDLE_VALUE) return 1;
  DWORD written = 0;
  WriteFile(file, "ran", 3, &written, nullptr);
  CloseHandle(file);
  return 0;
}
