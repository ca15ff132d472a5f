#include "shellext/shell_ext_class_factory_win32.h"

#include <new>

#include "shellext/shell_ext_win32.h"
#include "shellext/tessel_app_win32.h"

namespace vellumo {

CShellExtClassFactory::CShellExtClassFactory() { theApp.ObjectCreated(); }

CShellExtClassFactory::~CShellExtClassFactory() { theApp.ObjectDestroyed(); }

STDMETHODIMP CShellExtClassFactory::QueryInterface(REFIID riid, void** ppv) {
  if (!ppv) return E_POINTER;
  if (IsEqualIID(riid, IID_IUnknown) || IsEqualIID(riid, IID_IClassFactory)) {
    *ppv = static_cast<IClassFactory*>(this);
    AddRef();
    return S_OK;
  }
  *ppv = nullptr;
  return E_NOINTERFACE;
}

STDMETHODIMP_(ULONG) CShellExtClassFactory::AddRef() { return ++refs_; }

STDMETHODIMP_(ULONG) CShellExtClassFactory::Release() {
  ULONG refs = --refs_;
  if (refs == 0) delete this;
  return refs;
}

STDMETHODIMP CShellExtClassFactory::CreateInstance(IUnknown* outer, REFIID riid, void** ppv) {
  if (!ppv) return E_POINTER;
  *ppv = nullptr;
  if (outer) return CLASS_E_NOAGGREGATION;
  CShellExt* ext = new (std::nothrow) CShellExt();
  if (!ext) return E_OUTOFMEMORY;
  // An unknown interface leaves the object without references: free it.
  ext->AddRef();
  HRESULT hr = ext->QueryInterface(riid, ppv);
  ext->Release();
  return hr;
}

STDMETHODIMP CShellExtClassFactory::LockServer(BOOL) { return S_OK; }

}  // namespace vellumo
