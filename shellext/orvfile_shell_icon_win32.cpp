#include "shellext/orvfile_shell_icon_win32.h"

#include <oleauto.h>

#include <cwchar>
#include <new>
#include <string>

#include "platform/owners_win32.h"
#include "shellext/shell_ext_module_win32.h"
#include "shellext/vorlink_ids.h"

namespace vellumo {
namespace {

// Positions among the module's icon groups (154, 155, 156).
constexpr int kDocumentIconIndex = 1;
constexpr int kOverlayIconIndex = 2;

// The unnamed value of HKEY_CLASSES_ROOT\<key> as text of fewer than `chars`
// characters; false when the key or value is missing or doesn't fit.
bool ReadClassesValue(const std::wstring& key, wchar_t* out, DWORD chars) {
  UniqueKey handle;
  if (RegOpenKeyExW(HKEY_CLASSES_ROOT, key.c_str(), 0, KEY_READ, handle.receive()) != ERROR_SUCCESS)
    return false;
  DWORD bytes = chars * sizeof(wchar_t);
  LONG rc = RegQueryValueExW(handle.get(), nullptr, nullptr, nullptr, reinterpret_cast<BYTE*>(out),
                             &bytes);
  if (rc != ERROR_SUCCESS) return false;
  // Stored text need not carry its terminator.
  DWORD n = bytes / sizeof(wchar_t);
  if (n > 0 && out[n - 1] == L'\0') --n;
  if (n >= chars) return false;
  out[n] = L'\0';
  return true;
}

// The icon registered for the type named by the extension in front of the
// last four characters (".EDS") of `fileName`.
bool InnerTypeIcon(const wchar_t* fileName, std::wstring& iconFile, int& index) {
  size_t n = wcslen(fileName);
  if (n < 5) return false;
  std::wstring inner(fileName, n - 4);
  // A dot in a folder name is no extension of the file.
  size_t dot = inner.find_last_of(L".\\/");
  if (dot == std::wstring::npos || inner[dot] != L'.') return false;
  wchar_t typeName[40];
  if (!ReadClassesValue(inner.substr(dot), typeName, 40) || typeName[0] == L'\0') return false;
  wchar_t location[MAX_PATH];
  if (!ReadClassesValue(std::wstring(typeName) + L"\\DefaultIcon", location, MAX_PATH))
    return false;
  iconFile = location;
  index = 0;
  size_t comma = iconFile.find_last_of(L',');
  if (comma != std::wstring::npos) {
    index = static_cast<int>(wcstol(iconFile.c_str() + comma + 1, nullptr, 10));
    iconFile.resize(comma);
  }
  return true;
}

}  // namespace

HRESULT COrvfileShellIcon::Create(IUnknown* outer, REFIID riid, void** ppv) {
  if (!ppv) return E_POINTER;
  *ppv = nullptr;
  if (outer && !IsEqualIID(riid, IID_IUnknown)) return CLASS_E_NOAGGREGATION;
  auto* object = new (std::nothrow) COrvfileShellIcon(outer);
  if (!object) return E_OUTOFMEMORY;
  object->inner_.AddRef();
  HRESULT hr = object->inner_.QueryInterface(riid, ppv);
  object->inner_.Release();
  return hr;
}

COrvfileShellIcon::COrvfileShellIcon(IUnknown* outer)
    : inner_(this), outer_(outer ? outer : &inner_) {
  theModule.Lock();
}

COrvfileShellIcon::~COrvfileShellIcon() {
  if (typeInfo_) typeInfo_->Release();
  theModule.Unlock();
}

STDMETHODIMP COrvfileShellIcon::Inner::QueryInterface(REFIID riid, void** ppv) {
  if (!ppv) return E_POINTER;
  if (IsEqualIID(riid, IID_IUnknown)) {
    *ppv = this;
  } else if (IsEqualIID(riid, kIidOrvfileShellIcon) || IsEqualIID(riid, IID_IDispatch)) {
    *ppv = static_cast<IOrvfileShellIcon*>(self_);
  } else if (IsEqualIID(riid, IID_IPersistFile)) {
    *ppv = static_cast<IPersistFile*>(self_);
  } else if (IsEqualIID(riid, IID_IExtractIconW)) {
    *ppv = static_cast<IExtractIconW*>(self_);
  } else if (IsEqualIID(riid, IID_IShellIconOverlayIdentifier)) {
    *ppv = static_cast<IShellIconOverlayIdentifier*>(self_);
  } else {
    *ppv = nullptr;
    return E_NOINTERFACE;
  }
  static_cast<IUnknown*>(*ppv)->AddRef();
  return S_OK;
}

STDMETHODIMP_(ULONG) COrvfileShellIcon::Inner::AddRef() { return ++self_->refs_; }

STDMETHODIMP_(ULONG) COrvfileShellIcon::Inner::Release() {
  ULONG refs = --self_->refs_;
  if (refs == 0) delete self_;
  return refs;
}

STDMETHODIMP COrvfileShellIcon::QueryInterface(REFIID riid, void** ppv) {
  return outer_->QueryInterface(riid, ppv);
}
STDMETHODIMP_(ULONG) COrvfileShellIcon::AddRef() { return outer_->AddRef(); }
STDMETHODIMP_(ULONG) COrvfileShellIcon::Release() { return outer_->Release(); }

HRESULT COrvfileShellIcon::LoadTypeInfo() {
  if (typeInfo_) return S_OK;
  ITypeLib* library = nullptr;
  HRESULT hr = LoadRegTypeLib(kLibidVorlink, 1, 0, LOCALE_NEUTRAL, &library);
  if (FAILED(hr)) return hr;
  hr = library->GetTypeInfoOfGuid(kIidOrvfileShellIcon, &typeInfo_);
  library->Release();
  return hr;
}

STDMETHODIMP COrvfileShellIcon::GetTypeInfoCount(UINT* count) {
  if (!count) return E_POINTER;
  *count = 1;
  return S_OK;
}

STDMETHODIMP COrvfileShellIcon::GetTypeInfo(UINT index, LCID, ITypeInfo** info) {
  if (!info) return E_POINTER;
  *info = nullptr;
  if (index != 0) return DISP_E_BADINDEX;
  HRESULT hr = LoadTypeInfo();
  if (FAILED(hr)) return hr;
  typeInfo_->AddRef();
  *info = typeInfo_;
  return S_OK;
}

STDMETHODIMP COrvfileShellIcon::GetIDsOfNames(REFIID, LPOLESTR* names, UINT count, LCID,
                                              DISPID* ids) {
  HRESULT hr = LoadTypeInfo();
  if (FAILED(hr)) return hr;
  return DispGetIDsOfNames(typeInfo_, names, count, ids);
}

STDMETHODIMP COrvfileShellIcon::Invoke(DISPID id, REFIID, LCID, WORD flags, DISPPARAMS* params,
                                       VARIANT* result, EXCEPINFO* exception, UINT* argError) {
  HRESULT hr = LoadTypeInfo();
  if (FAILED(hr)) return hr;
  return DispInvoke(static_cast<IOrvfileShellIcon*>(this), typeInfo_, id, flags, params, result,
                    exception, argError);
}

STDMETHODIMP COrvfileShellIcon::GetClassID(CLSID*) { return E_NOTIMPL; }
STDMETHODIMP COrvfileShellIcon::IsDirty() { return E_NOTIMPL; }
STDMETHODIMP COrvfileShellIcon::Save(LPCOLESTR, BOOL) { return E_NOTIMPL; }
STDMETHODIMP COrvfileShellIcon::SaveCompleted(LPCOLESTR) { return E_NOTIMPL; }
STDMETHODIMP COrvfileShellIcon::GetCurFile(LPOLESTR*) { return E_NOTIMPL; }

STDMETHODIMP COrvfileShellIcon::Load(LPCOLESTR fileName, DWORD) {
  CopyToBuffer(fileName ? fileName : L"", fileName_, MAX_PATH);
  return S_OK;
}

STDMETHODIMP COrvfileShellIcon::GetIconLocation(UINT, PWSTR iconFile, UINT cchMax, int* index,
                                                UINT* resultFlags) {
  return Guarded([&] { return IconLocation(iconFile, cchMax, index, resultFlags); });
}

HRESULT COrvfileShellIcon::IconLocation(PWSTR iconFile, UINT cchMax, int* index, UINT* resultFlags) {
  std::wstring location;
  int iconIndex = 0;
  if (!InnerTypeIcon(fileName_, location, iconIndex)) {
    location = theModule.ModulePath();
    iconIndex = kDocumentIconIndex;
  }
  CopyToBuffer(location.c_str(), iconFile, cchMax);
  if (index) *index = iconIndex;
  if (resultFlags) *resultFlags = 0;
  return S_OK;
}

STDMETHODIMP COrvfileShellIcon::Extract(PCWSTR, UINT, HICON*, HICON*, UINT) {
  return S_FALSE;  // the shell extracts the icon from the location itself
}

STDMETHODIMP COrvfileShellIcon::IsMemberOf(PCWSTR path, DWORD) {
  if (!path) return S_FALSE;
  size_t n = wcslen(path);
  if (n < 4) return S_FALSE;
  const wchar_t* suffix = path + n - 4;
  const wchar_t expected[] = L".EDS";
  for (int i = 0; i < 4; ++i) {
    wchar_t c = suffix[i];
    if (c >= L'a' && c <= L'z') c = static_cast<wchar_t>(c - L'a' + L'A');
    if (c != expected[i]) return S_FALSE;
  }
  return S_OK;
}

STDMETHODIMP COrvfileShellIcon::GetOverlayInfo(PWSTR iconFile, int cchMax, int* index,
                                               DWORD* flags) {
  CopyToBuffer(theModule.ModulePath().c_str(), iconFile, cchMax > 0 ? cchMax : 0);
  if (index) *index = kOverlayIconIndex;
  if (flags) *flags = ISIOI_ICONFILE | ISIOI_ICONINDEX;
  return S_OK;
}

STDMETHODIMP COrvfileShellIcon::GetPriority(int* priority) {
  if (priority) *priority = 0;
  return S_OK;
}

}  // namespace vellumo
