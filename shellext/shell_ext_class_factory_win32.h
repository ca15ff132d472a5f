#pragma once
// Factory of the context-menu handler; DllGetClassObject makes a new one for
// every request.
#include <windows.h>
#include <unknwn.h>

namespace vellumo {

class CShellExtClassFactory : public IClassFactory {
 public:
  CShellExtClassFactory();
  CShellExtClassFactory(const CShellExtClassFactory&) = delete;
  CShellExtClassFactory& operator=(const CShellExtClassFactory&) = delete;

  STDMETHODIMP QueryInterface(REFIID riid, void** ppv) override;
  STDMETHODIMP_(ULONG) AddRef() override;
  STDMETHODIMP_(ULONG) Release() override;
  STDMETHODIMP CreateInstance(IUnknown* outer, REFIID riid, void** ppv) override;
  STDMETHODIMP LockServer(BOOL lock) override;

 private:
  virtual ~CShellExtClassFactory();
  ULONG refs_ = 0;
};

}  // namespace vellumo
