#pragma once
// Explorer context-menu handler: a "Quennel" submenu whose commands start
// Vellumo.exe in one of its modes, handing file selections over through the
// shared block.
#include <windows.h>
#include <shlobj.h>

#include <string>
#include <vector>

#include "platform/owners_win32.h"

namespace vellumo {

class CShellExt : public IContextMenu, public IShellExtInit {
 public:
  // The class factory's maker: no aggregation.
  static HRESULT Create(IUnknown* outer, REFIID riid, void** ppv);

  CShellExt();
  CShellExt(const CShellExt&) = delete;
  CShellExt& operator=(const CShellExt&) = delete;

  STDMETHODIMP QueryInterface(REFIID riid, void** ppv) override;
  STDMETHODIMP_(ULONG) AddRef() override;
  STDMETHODIMP_(ULONG) Release() override;

  // IShellExtInit
  STDMETHODIMP Initialize(PCIDLIST_ABSOLUTE folder, IDataObject* data, HKEY progId) override;

  // IContextMenu
  STDMETHODIMP QueryContextMenu(HMENU menu, UINT index, UINT idCmdFirst, UINT idCmdLast,
                                UINT flags) override;
  STDMETHODIMP InvokeCommand(CMINVOKECOMMANDINFO* info) override;
  STDMETHODIMP GetCommandString(UINT_PTR idCmd, UINT type, UINT* reserved, CHAR* name,
                                UINT cchMax) override;

 private:
  virtual ~CShellExt();
  // The bodies of the entry points above, which guard them.
  HRESULT InitializeWith(IDataObject* data);
  HRESULT AddMenu(HMENU menu, UINT index, UINT idCmdFirst, UINT flags);
  HRESULT Invoke(CMINVOKECOMMANDINFO* info);
  HRESULT CommandString(UINT_PTR idCmd, UINT type, wchar_t* name, UINT cchMax);
  // Starts "<module folder>Vellumo.exe <option>".
  static void StartVellumo(const wchar_t* option);

  ULONG refs_ = 0;
  // The selection: its paths are read from it when a command hands them over.
  ComPtr<IDataObject> data_;
  bool hasSelection_ = false;  // the drop list holds a path
  bool hasFiles_ = false;
  bool hasClipboardText_ = false;
  HBITMAP menuBitmap_ = nullptr;  // the program's icon beside the submenu item
};

}  // namespace vellumo
