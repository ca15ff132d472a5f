#pragma once
// The one class factory of Vorlink64, driven by a table of the classes it
// serves: the context-menu handler gets a new factory per request, the icon
// handler one factory kept for the module's lifetime.
#include <windows.h>
#include <unknwn.h>

namespace vellumo {

// Makes an object of one class (aggregated in `outer` where the class allows
// it) and queries it for riid.
using CreateFunction = HRESULT (*)(IUnknown* outer, REFIID riid, void** ppv);

struct ClassEntry {
  const CLSID* clsid;
  CreateFunction create;
  // One factory, made on first request and kept until the DLL is unloaded;
  // callers' references to it do not keep the DLL loaded, server locks do.
  bool cached;
};

class CClassFactory : public IClassFactory {
 public:
  explicit CClassFactory(const ClassEntry& entry);
  CClassFactory(const CClassFactory&) = delete;
  CClassFactory& operator=(const CClassFactory&) = delete;

  STDMETHODIMP QueryInterface(REFIID riid, void** ppv) override;
  STDMETHODIMP_(ULONG) AddRef() override;
  STDMETHODIMP_(ULONG) Release() override;
  STDMETHODIMP CreateInstance(IUnknown* outer, REFIID riid, void** ppv) override;
  STDMETHODIMP LockServer(BOOL lock) override;

 private:
  virtual ~CClassFactory();
  const ClassEntry& entry_;
  LONG refs_ = 0;
};

// The design's name for the context-menu handler's factory.
using CShellExtClassFactory = CClassFactory;

// DllGetClassObject's work: the factory of `clsid` queried for riid, or
// CLASS_E_CLASSNOTAVAILABLE for a class the module does not serve.
HRESULT GetClassObject(REFCLSID clsid, REFIID riid, void** ppv);
// Drops the cached factories when the module is unloaded.
void ReleaseCachedFactories();

}  // namespace vellumo
