#pragma once
// Module-wide state of Vorlink64: its folder and path, the product name, the
// one count that decides when the DLL may be unloaded, and the one list writer.
#include <windows.h>

#include <new>
#include <string>

#include "handoff/handoff_block_win32.h"

namespace vellumo {

constexpr wchar_t kProductName[] = L"Quennel";

class ShellExtModule {
 public:
  // Runs once when the DLL is loaded.
  void InitInstance(HINSTANCE dll);
  void ExitInstance();

  HINSTANCE Instance() const { return instance_; }
  // The folder Vellumo.exe is started from, with its trailing backslash.
  const std::wstring& ModuleFolder() const { return moduleFolder_; }
  // The DLL's own full path (registration, overlay and fallback icon).
  const std::wstring& ModulePath() const { return modulePath_; }

  // Everything that keeps the DLL loaded holds one count: every live object,
  // every factory made for one request, every server lock.
  void Lock() { InterlockedIncrement(&locks_); }
  void Unlock() { InterlockedDecrement(&locks_); }
  bool CanUnload() const { return locks_ == 0; }

  CRITICAL_SECTION& FactoryLock() { return factoryLock_; }
  HandoffBlock& ListWriter() { return listWriter_; }

 private:
  HINSTANCE instance_ = nullptr;
  std::wstring moduleFolder_;
  std::wstring modulePath_;
  volatile LONG locks_ = 0;
  CRITICAL_SECTION factoryLock_{};
  HandoffBlock listWriter_;
};

// The design's name for the module object.
using CTesselApp = ShellExtModule;

extern ShellExtModule theModule;

// Runs the body of a COM entry point: no exception crosses into the caller
// (Explorer), it becomes an error result instead: E_OUTOFMEMORY for memory
// that could not be had, E_FAIL for anything else.
template <typename Body>
HRESULT Guarded(Body&& body) noexcept {
  try {
    return body();
  } catch (const std::bad_alloc&) {
    return E_OUTOFMEMORY;
  } catch (...) {
    return E_FAIL;
  }
}

// Copies text into a caller's buffer of cchMax characters: cut to fit and
// always terminated (nothing is written for a zero-sized buffer).
void CopyToBuffer(const wchar_t* text, wchar_t* out, size_t cchMax);

// Full path of a loaded module (null: the host program), of any length.
std::wstring ModuleFileName(HMODULE module);

}  // namespace vellumo
