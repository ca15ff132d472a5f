#include "shellext/shell_ext_module_win32.h"

#include <cwchar>

namespace vellumo {

ShellExtModule theModule;

std::wstring ModuleFileName(HMODULE module) {
  std::wstring path(MAX_PATH, L'\0');
  for (;;) {
    DWORD n = GetModuleFileNameW(module, path.data(), static_cast<DWORD>(path.size()));
    if (n == 0) return std::wstring();
    if (n < path.size()) {
      path.resize(n);
      return path;
    }
    path.resize(path.size() * 2);
  }
}

void CopyToBuffer(const wchar_t* text, wchar_t* out, size_t cchMax) {
  if (!out || cchMax == 0) return;
  size_t n = wcslen(text);
  if (n > cchMax - 1) n = cchMax - 1;
  wmemcpy(out, text, n);
  out[n] = L'\0';
}

void ShellExtModule::InitInstance(HINSTANCE dll) {
  instance_ = dll;
  modulePath_ = ModuleFileName(dll);
  // The commands look for Vellumo.exe beside the module of this name; a copy
  // under another name finds none and takes the host program's folder.
  moduleFolder_ = ModuleFileName(GetModuleHandleW(L"Vorlink64.dll"));
  moduleFolder_.resize(moduleFolder_.find_last_of(L'\\') + 1);
  InitializeCriticalSection(&factoryLock_);
}

void ShellExtModule::ExitInstance() {
  DeleteCriticalSection(&factoryLock_);
}

}  // namespace vellumo
