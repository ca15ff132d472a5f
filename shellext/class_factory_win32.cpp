#include "shellext/class_factory_win32.h"

#include <new>

#include "shellext/orvfile_shell_icon_win32.h"
#include "shellext/shell_ext_module_win32.h"
#include "shellext/shell_ext_win32.h"
#include "shellext/vorlink_ids.h"

namespace vellumo {
namespace {

const ClassEntry kClasses[] = {
    {&kClsidShellExt, &CShellExt::Create, false},
    {&kClsidOrvfileShellIcon, &COrvfileShellIcon::Create, true},
};
constexpr size_t kClassCount = sizeof kClasses / sizeof kClasses[0];

// The factories of the cached classes, by table position; the module holds one
// reference to each.
CClassFactory* cachedFactories[kClassCount] = {};

}  // namespace

CClassFactory::CClassFactory(const ClassEntry& entry) : entry_(entry) {
  if (!entry_.cached) theModule.Lock();
}

CClassFactory::~CClassFactory() {
  if (!entry_.cached) theModule.Unlock();
}

STDMETHODIMP CClassFactory::QueryInterface(REFIID riid, void** ppv) {
  if (!ppv) return E_POINTER;
  if (IsEqualIID(riid, IID_IUnknown) || IsEqualIID(riid, IID_IClassFactory)) {
    *ppv = static_cast<IClassFactory*>(this);
    AddRef();
    return S_OK;
  }
  *ppv = nullptr;
  return E_NOINTERFACE;
}

STDMETHODIMP_(ULONG) CClassFactory::AddRef() { return static_cast<ULONG>(InterlockedIncrement(&refs_)); }

STDMETHODIMP_(ULONG) CClassFactory::Release() {
  const LONG refs = InterlockedDecrement(&refs_);
  if (refs == 0) delete this;
  return static_cast<ULONG>(refs);
}

STDMETHODIMP CClassFactory::CreateInstance(IUnknown* outer, REFIID riid, void** ppv) {
  return Guarded([&] { return entry_.create(outer, riid, ppv); });
}

STDMETHODIMP CClassFactory::LockServer(BOOL lock) {
  if (lock) {
    theModule.Lock();
  } else {
    theModule.Unlock();
  }
  return S_OK;
}

HRESULT GetClassObject(REFCLSID clsid, REFIID riid, void** ppv) {
  if (!ppv) return E_POINTER;
  *ppv = nullptr;
  for (size_t i = 0; i < kClassCount; ++i) {
    const ClassEntry& entry = kClasses[i];
    if (!IsEqualCLSID(clsid, *entry.clsid)) continue;
    if (entry.cached) {
      EnterCriticalSection(&theModule.FactoryLock());
      if (!cachedFactories[i]) {
        cachedFactories[i] = new (std::nothrow) CClassFactory(entry);
        if (cachedFactories[i]) cachedFactories[i]->AddRef();  // the module's own reference
      }
      CClassFactory* factory = cachedFactories[i];
      LeaveCriticalSection(&theModule.FactoryLock());
      if (!factory) return E_OUTOFMEMORY;
      return factory->QueryInterface(riid, ppv);
    }
    auto* factory = new (std::nothrow) CClassFactory(entry);
    if (!factory) return E_OUTOFMEMORY;
    // A refused interface leaves the new factory without references: it goes.
    factory->AddRef();
    const HRESULT hr = factory->QueryInterface(riid, ppv);
    factory->Release();
    return hr;
  }
  return CLASS_E_CLASSNOTAVAILABLE;
}

void ReleaseCachedFactories() {
  for (CClassFactory*& factory : cachedFactories) {
    if (factory) factory->Release();
    factory = nullptr;
  }
}

}  // namespace vellumo
