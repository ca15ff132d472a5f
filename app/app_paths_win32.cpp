#include "app/app_paths_win32.h"

#include <windows.h>
#include <shlobj.h>

namespace vellumo {

AppPaths ResolveAppPaths() {
  AppPaths paths;
  wchar_t module[MAX_PATH] = {};
  GetModuleFileNameW(nullptr, module, MAX_PATH);
  paths.modulePath = module;
  size_t cut = paths.modulePath.find_last_of(L"\\/");
  paths.programFolder = cut == std::wstring::npos ? L"" : paths.modulePath.substr(0, cut + 1);

  wchar_t appData[MAX_PATH] = {};
  SHGetSpecialFolderPathW(nullptr, appData, CSIDL_APPDATA, FALSE);
  std::wstring folder = std::wstring(appData) + L"\\zentrik_quen";
  CreateDirectoryW(folder.c_str(), nullptr);
  paths.settingsFolder = folder + L"\\";
  paths.settingsFile = paths.settingsFolder + L"quen_set.ini";
  return paths;
}

}  // namespace vellumo
