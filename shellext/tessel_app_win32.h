#pragma once
// Module-wide state of Vorlink64: its folder and path, the product name, the
// counts that decide when the DLL may be unloaded, and the one list writer.
#include <windows.h>

#include <string>

#include "handoff/process_map_win32.h"

namespace vellumo {

constexpr wchar_t kProductName[] = L"Quennel";

class CTesselApp {
 public:
  // Runs once when the DLL is loaded.
  void InitInstance(HINSTANCE dll);
  void ExitInstance();

  HINSTANCE Instance() const { return instance_; }
  // The folder Vellumo.exe is started from, with its trailing backslash.
  const std::wstring& ModuleFolder() const { return moduleFolder_; }
  // The DLL's own full path (registration, overlay and fallback icon).
  const std::wstring& ModulePath() const { return modulePath_; }

  // Live context-menu objects and their factories.
  void ObjectCreated() { InterlockedIncrement(&liveObjects_); }
  void ObjectDestroyed() { InterlockedDecrement(&liveObjects_); }
  // Live icon objects and server locks on the icon factory.
  void Lock() { InterlockedIncrement(&locks_); }
  void Unlock() { InterlockedDecrement(&locks_); }
  bool CanUnload() const { return liveObjects_ == 0 && locks_ == 0; }

  CRITICAL_SECTION& FactoryLock() { return factoryLock_; }
  CProcessMap& ListWriter() { return listWriter_; }

 private:
  HINSTANCE instance_ = nullptr;
  std::wstring moduleFolder_;
  std::wstring modulePath_;
  volatile LONG liveObjects_ = 0;
  volatile LONG locks_ = 0;
  CRITICAL_SECTION factoryLock_{};
  CProcessMap listWriter_;
};

extern CTesselApp theApp;

// Copies text into a caller's buffer of cchMax characters: cut to fit and
// always terminated (nothing is written for a zero-sized buffer).
void CopyToBuffer(const wchar_t* text, wchar_t* out, size_t cchMax);

// Full path of a loaded module (null: the host program), of any length.
std::wstring ModuleFileName(HMODULE module);

}  // namespace vellumo
