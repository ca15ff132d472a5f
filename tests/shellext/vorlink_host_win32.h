#pragma once
// Host side of the shell extension's tests: Vorlink64.dll (or a copy named
// VORLINK_DLL_NAME) in a folder whose path has spaces, with the program
// VORLINK_PROGRAM beside it as Vellumo.exe (a recording stand-in, or the real
// one) and a copy as a decoy at the first space of that path, loaded into this
// process.
#include <windows.h>
#include <objidl.h>

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

namespace vellumo::testing {

struct VorlinkModule {
  HMODULE module = nullptr;
  std::wstring folder;   // with its trailing backslash
  std::wstring dllPath;  // folder + "Vorlink64.dll" (or VORLINK_DLL_NAME)
  std::wstring logPath;  // what the stand-ins record
  std::wstring decoyPath;
  HRESULT(WINAPI* getClassObject)(REFCLSID, REFIID, void**) = nullptr;
  HRESULT(WINAPI* canUnloadNow)() = nullptr;
};

// Set up once for the test program (a GoogleTest environment).
const VorlinkModule& Vorlink();

// Releases an interface pointer at scope end, so a failed assertion doesn't
// leave objects alive into the tests after it (they check the DLL's count).
struct ComRelease {
  void operator()(IUnknown* object) const { object->Release(); }
};
template <typename T>
using ComRef = std::unique_ptr<T, ComRelease>;

// An interface pointer of the DLL, created through its exported factory.
template <typename T>
T* CreateVorlinkObject(REFCLSID clsid, REFIID iid) {
  IClassFactory* factory = nullptr;
  if (FAILED(Vorlink().getClassObject(clsid, IID_IClassFactory, reinterpret_cast<void**>(&factory))))
    return nullptr;
  T* object = nullptr;
  factory->CreateInstance(nullptr, iid, reinterpret_cast<void**>(&object));
  factory->Release();
  return object;
}

// One started program: its own path and its full command line.
struct StartRecord {
  std::wstring program;
  std::wstring commandLine;
};

std::vector<StartRecord> StartRecords();
// Waits (up to thirty seconds: a loaded machine starts programs slowly) until
// at least `count` programs have recorded.
std::vector<StartRecord> WaitForStartRecords(size_t count);
void ClearStartRecords();

// Puts text on the clipboard (CF_TEXT) or empties it.
void SetClipboardHasText(bool hasText);

// A data object offering the paths as a shell drop list (CF_HDROP), or no
// formats at all.
IDataObject* NewDropList(const std::vector<std::wstring>& paths, bool offersDropList = true);
// What such an object offers from now on: a wide list of `paths`.
void SetDropListPaths(IDataObject* list, const std::vector<std::wstring>& paths);
// A data object whose drop list is exactly `bytes` (DROPFILES header included).
IDataObject* NewRawDropList(const std::vector<uint8_t>& bytes);
// The bytes of a drop list of `paths`: UTF-16, or the ANSI code page's bytes.
std::vector<uint8_t> DropListBytes(const std::vector<std::wstring>& paths, bool wide = true);

}  // namespace vellumo::testing
