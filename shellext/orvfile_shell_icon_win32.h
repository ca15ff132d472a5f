#pragma once
// Overlay and icon handler for encrypted files named "*.EDS": an overlay image
// for every such name, and for files of the ORV type the icon of the type the
// name carries before ".EDS" (report.doc.EDS shows the icon of .doc).
#include <windows.h>
#include <oaidl.h>
#include <shlobj.h>

namespace vellumo {

// Dual interface of the class; it has no methods of its own.
struct IOrvfileShellIcon : public IDispatch {};

class COrvfileShellIcon : public IOrvfileShellIcon,
                          public IPersistFile,
                          public IExtractIconW,
                          public IShellIconOverlayIdentifier {
 public:
  // Makes an object, aggregated in `outer` when that is non-null (then only
  // IUnknown may be asked for), and queries it for riid.
  static HRESULT Create(IUnknown* outer, REFIID riid, void** ppv);

  COrvfileShellIcon(const COrvfileShellIcon&) = delete;
  COrvfileShellIcon& operator=(const COrvfileShellIcon&) = delete;

  // IUnknown of every face: the outer object's when aggregated.
  STDMETHODIMP QueryInterface(REFIID riid, void** ppv) override;
  STDMETHODIMP_(ULONG) AddRef() override;
  STDMETHODIMP_(ULONG) Release() override;

  // IDispatch (no type library is shipped; see GetTypeInfo)
  STDMETHODIMP GetTypeInfoCount(UINT* count) override;
  STDMETHODIMP GetTypeInfo(UINT index, LCID lcid, ITypeInfo** info) override;
  STDMETHODIMP GetIDsOfNames(REFIID riid, LPOLESTR* names, UINT count, LCID lcid,
                             DISPID* ids) override;
  STDMETHODIMP Invoke(DISPID id, REFIID riid, LCID lcid, WORD flags, DISPPARAMS* params,
                      VARIANT* result, EXCEPINFO* exception, UINT* argError) override;

  // IPersistFile: only Load is used, to learn the file's name.
  STDMETHODIMP GetClassID(CLSID* clsid) override;
  STDMETHODIMP IsDirty() override;
  STDMETHODIMP Load(LPCOLESTR fileName, DWORD mode) override;
  STDMETHODIMP Save(LPCOLESTR fileName, BOOL remember) override;
  STDMETHODIMP SaveCompleted(LPCOLESTR fileName) override;
  STDMETHODIMP GetCurFile(LPOLESTR* fileName) override;

  // IExtractIconW
  STDMETHODIMP GetIconLocation(UINT flags, PWSTR iconFile, UINT cchMax, int* index,
                               UINT* resultFlags) override;
  STDMETHODIMP Extract(PCWSTR file, UINT index, HICON* large, HICON* small,
                       UINT sizes) override;

  // IShellIconOverlayIdentifier
  STDMETHODIMP IsMemberOf(PCWSTR path, DWORD attributes) override;
  STDMETHODIMP GetOverlayInfo(PWSTR iconFile, int cchMax, int* index, DWORD* flags) override;
  STDMETHODIMP GetPriority(int* priority) override;

 private:
  // The object's own IUnknown, which an aggregating outer object holds.
  class Inner : public IUnknown {
   public:
    explicit Inner(COrvfileShellIcon* self) : self_(self) {}
    STDMETHODIMP QueryInterface(REFIID riid, void** ppv) override;
    STDMETHODIMP_(ULONG) AddRef() override;
    STDMETHODIMP_(ULONG) Release() override;

   private:
    COrvfileShellIcon* self_;
  };

  explicit COrvfileShellIcon(IUnknown* outer);
  virtual ~COrvfileShellIcon();
  HRESULT LoadTypeInfo();
  // GetIconLocation's body, which it guards.
  HRESULT IconLocation(PWSTR iconFile, UINT cchMax, int* index, UINT* resultFlags);

  Inner inner_;
  IUnknown* outer_;  // the aggregating object, or inner_
  ULONG refs_ = 0;
  wchar_t fileName_[MAX_PATH] = {};
  ITypeInfo* typeInfo_ = nullptr;
};

}  // namespace vellumo
