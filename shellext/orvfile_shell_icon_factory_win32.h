#pragma once
// Factory of the icon handler: one per module, made on first request and kept
// until the DLL is unloaded. Its server locks count against unloading.
#include <windows.h>
#include <unknwn.h>

namespace vellumo {

class COrvfileShellIconFactory : public IClassFactory {
 public:
  // The module's factory, made on first use; null when memory is exhausted.
  static COrvfileShellIconFactory* Cached();
  // Drops the cached factory when the module is unloaded.
  static void ReleaseCached();

  COrvfileShellIconFactory(const COrvfileShellIconFactory&) = delete;
  COrvfileShellIconFactory& operator=(const COrvfileShellIconFactory&) = delete;

  STDMETHODIMP QueryInterface(REFIID riid, void** ppv) override;
  STDMETHODIMP_(ULONG) AddRef() override;
  STDMETHODIMP_(ULONG) Release() override;
  STDMETHODIMP CreateInstance(IUnknown* outer, REFIID riid, void** ppv) override;
  STDMETHODIMP LockServer(BOOL lock) override;

 private:
  COrvfileShellIconFactory() = default;
  virtual ~COrvfileShellIconFactory() = default;
  LONG refs_ = 0;
};

}  // namespace vellumo
