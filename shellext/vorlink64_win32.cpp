// Entry points of Vorlink64.dll, the in-process COM server Explorer loads.
#include <windows.h>
#include <objbase.h>

#include "shellext/class_factory_win32.h"
#include "shellext/registration_win32.h"
#include "shellext/shell_ext_module_win32.h"

using vellumo::Guarded;
using vellumo::theModule;

extern "C" BOOL WINAPI DllMain(HINSTANCE instance, DWORD reason, LPVOID) {
  if (reason == DLL_PROCESS_ATTACH) {
    DisableThreadLibraryCalls(instance);
    // Refusing the load is better than serving without a module folder.
    return SUCCEEDED(Guarded([&] {
      theModule.InitInstance(instance);
      return S_OK;
    }));
  }
  if (reason == DLL_PROCESS_DETACH) {
    vellumo::ReleaseCachedFactories();
    theModule.ExitInstance();
  }
  return TRUE;
}

extern "C" HRESULT WINAPI DllGetClassObject(REFCLSID rclsid, REFIID riid, void** ppv) {
  return Guarded([&] { return vellumo::GetClassObject(rclsid, riid, ppv); });
}

extern "C" HRESULT WINAPI DllCanUnloadNow() { return theModule.CanUnload() ? S_OK : S_FALSE; }

extern "C" HRESULT WINAPI DllRegisterServer() {
  return Guarded([] { return vellumo::RegisterUnregister(true); });
}

extern "C" HRESULT WINAPI DllUnregisterServer() {
  return Guarded([] { return vellumo::RegisterUnregister(false); });
}
