// Entry points of Vorlink64.dll, the in-process COM server Explorer loads.
#include <windows.h>
#include <objbase.h>

#include <new>

#include "shellext/orvfile_shell_icon_factory_win32.h"
#include "shellext/registration_win32.h"
#include "shellext/shell_ext_class_factory_win32.h"
#include "shellext/tessel_app_win32.h"
#include "shellext/vorlink_ids.h"

using vellumo::theApp;

extern "C" BOOL WINAPI DllMain(HINSTANCE instance, DWORD reason, LPVOID) {
  if (reason == DLL_PROCESS_ATTACH) {
    DisableThreadLibraryCalls(instance);
    theApp.InitInstance(instance);
  } else if (reason == DLL_PROCESS_DETACH) {
    vellumo::COrvfileShellIconFactory::ReleaseCached();
    theApp.ExitInstance();
  }
  return TRUE;
}

extern "C" HRESULT WINAPI DllGetClassObject(REFCLSID rclsid, REFIID riid, void** ppv) {
  if (!ppv) return E_POINTER;
  *ppv = nullptr;
  if (IsEqualCLSID(rclsid, vellumo::kClsidShellExt)) {
    auto* factory = new (std::nothrow) vellumo::CShellExtClassFactory();
    if (!factory) return E_OUTOFMEMORY;
    // A refused interface leaves the new factory without references: free it.
    factory->AddRef();
    HRESULT hr = factory->QueryInterface(riid, ppv);
    factory->Release();
    return hr;
  }
  if (IsEqualCLSID(rclsid, vellumo::kClsidOrvfileShellIcon)) {
    vellumo::COrvfileShellIconFactory* factory = vellumo::COrvfileShellIconFactory::Cached();
    if (!factory) return E_OUTOFMEMORY;
    return factory->QueryInterface(riid, ppv);
  }
  return CLASS_E_CLASSNOTAVAILABLE;
}

extern "C" HRESULT WINAPI DllCanUnloadNow() { return theApp.CanUnload() ? S_OK : S_FALSE; }

extern "C" HRESULT WINAPI DllRegisterServer() { return vellumo::RegisterUnregister(true); }

extern "C" HRESULT WINAPI DllUnregisterServer() { return vellumo::RegisterUnregister(false); }
