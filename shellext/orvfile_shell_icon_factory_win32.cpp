#include "shellext/orvfile_shell_icon_factory_win32.h"

#include <new>

#include "shellext/orvfile_shell_icon_win32.h"
#include "shellext/tessel_app_win32.h"

namespace vellumo {
namespace {
COrvfileShellIconFactory* cachedFactory = nullptr;
}  // namespace

COrvfileShellIconFactory* COrvfileShellIconFactory::Cached() {
  EnterCriticalSection(&theApp.FactoryLock());
  if (!cachedFactory) {
    cachedFactory = new (std::nothrow) COrvfileShellIconFactory();
    if (cachedFactory) cachedFactory->AddRef();  // the module's own reference
  }
  COrvfileShellIconFactory* factory = cachedFactory;
  LeaveCriticalSection(&theApp.FactoryLock());
  return factory;
}

void COrvfileShellIconFactory::ReleaseCached() {
  if (cachedFactory) cachedFactory->Release();
  cachedFactory = nullptr;
}

STDMETHODIMP COrvfileShellIconFactory::QueryInterface(REFIID riid, void** ppv) {
  if (!ppv) return E_POINTER;
  if (IsEqualIID(riid, IID_IUnknown) || IsEqualIID(riid, IID_IClassFactory)) {
    *ppv = static_cast<IClassFactory*>(this);
    AddRef();
    return S_OK;
  }
  *ppv = nullptr;
  return E_NOINTERFACE;
}

// Callers' references do not keep the module loaded, only server locks do.
STDMETHODIMP_(ULONG) COrvfileShellIconFactory::AddRef() {
  return static_cast<ULONG>(InterlockedIncrement(&refs_));
}

STDMETHODIMP_(ULONG) COrvfileShellIconFactory::Release() {
  LONG refs = InterlockedDecrement(&refs_);
  if (refs == 0) delete this;
  return static_cast<ULONG>(refs);
}

STDMETHODIMP COrvfileShellIconFactory::CreateInstance(IUnknown* outer, REFIID riid, void** ppv) {
  return COrvfileShellIcon::Create(outer, riid, ppv);
}

STDMETHODIMP COrvfileShellIconFactory::LockServer(BOOL lock) {
  if (lock)
    theApp.Lock();
  else
    theApp.Unlock();
  return S_OK;
}

}  // namespace vellumo
