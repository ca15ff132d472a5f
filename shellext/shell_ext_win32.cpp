#include "shellext/shell_ext_win32.h"

#include <shellapi.h>

#include <new>

#include "handoff/handoff_layout.h"
#include "shellext/drop_list_win32.h"
#include "shellext/shell_ext_module_win32.h"
#include "resources/ui_language_win32.h"
#include "resources/vorlink64.h"

namespace vellumo {
namespace {

struct MenuCommand {
  UINT caption;     // string ids, in the user's language
  UINT helpText;
  bool writesList;  // hands the selection over before starting
  const wchar_t* option;
};

constexpr MenuCommand kFileCommands[] = {
    {IDS_MENU_ENCRYPT, IDS_HELP_ENCRYPT, true, L"-enstart"},
    {IDS_MENU_DECRYPT, IDS_HELP_DECRYPT, true, L"-destart"},
};
constexpr MenuCommand kClipboardCommands[] = {
    {IDS_MENU_CLIP_ENCRYPT, IDS_HELP_CLIP_ENCRYPT, false, L"-enslipstart"},
    {IDS_MENU_CLIP_DECRYPT, IDS_HELP_CLIP_DECRYPT, false, L"-deslipstart"},
};
constexpr MenuCommand kSettingsCommand = {IDS_MENU_SETTINGS, IDS_HELP_SETTINGS, false, L"-sysset"};

// The submenu for a menu state, in command-offset order; empty when the
// handler shows nothing.
std::vector<const MenuCommand*> MenuFor(bool hasFiles, bool hasClipboardText) {
  std::vector<const MenuCommand*> menu;
  if (!hasFiles && !hasClipboardText) return menu;
  if (hasFiles)
    for (const MenuCommand& c : kFileCommands) menu.push_back(&c);
  if (hasClipboardText)
    for (const MenuCommand& c : kClipboardCommands) menu.push_back(&c);
  menu.push_back(&kSettingsCommand);
  return menu;
}

bool ShowsItems(UINT flags) {
  if ((flags & 0x000F) == CMF_NORMAL) return true;
  return (flags & CMF_EXPLORE) && !(flags & CMF_VERBSONLY);
}

// The program's icon as the 32-bit bitmap with alpha a menu item shows
// beside its text, at the size of a small icon; null when it cannot be made.
HBITMAP MenuIcon(HINSTANCE module, UINT id) {
  const int size = GetSystemMetrics(SM_CXSMICON);
  HICON icon = static_cast<HICON>(LoadImageW(module, MAKEINTRESOURCEW(id), IMAGE_ICON, size, size, LR_DEFAULTCOLOR));
  if (!icon) return nullptr;
  BITMAPINFO info = {};
  info.bmiHeader.biSize = sizeof info.bmiHeader;
  info.bmiHeader.biWidth = size;
  info.bmiHeader.biHeight = -size;  // top-down
  info.bmiHeader.biPlanes = 1;
  info.bmiHeader.biBitCount = 32;
  info.bmiHeader.biCompression = BI_RGB;
  void* bits = nullptr;
  HBITMAP bitmap = nullptr;
  if (HDC dc = CreateCompatibleDC(nullptr)) {
    bitmap = CreateDIBSection(dc, &info, DIB_RGB_COLORS, &bits, nullptr, 0);
    if (bitmap) {
      HGDIOBJ old = SelectObject(dc, bitmap);
      DrawIconEx(dc, 0, 0, icon, size, size, 0, nullptr, DI_NORMAL);
      SelectObject(dc, old);
    }
    DeleteDC(dc);
  }
  DestroyIcon(icon);
  return bitmap;
}

}  // namespace

HRESULT CShellExt::Create(IUnknown* outer, REFIID riid, void** ppv) {
  if (!ppv) return E_POINTER;
  *ppv = nullptr;
  if (outer) return CLASS_E_NOAGGREGATION;
  CShellExt* ext = new (std::nothrow) CShellExt();
  if (!ext) return E_OUTOFMEMORY;
  // An unknown interface leaves the object without references: it goes.
  ext->AddRef();
  const HRESULT hr = ext->QueryInterface(riid, ppv);
  ext->Release();
  return hr;
}

CShellExt::CShellExt() {
  theModule.Lock();
  menuBitmap_ = MenuIcon(theModule.Instance(), IDI_PROGRAM);
}

CShellExt::~CShellExt() {
  if (menuBitmap_) DeleteObject(menuBitmap_);
  theModule.Unlock();
}

STDMETHODIMP CShellExt::QueryInterface(REFIID riid, void** ppv) {
  if (!ppv) return E_POINTER;
  if (IsEqualIID(riid, IID_IUnknown) || IsEqualIID(riid, IID_IShellExtInit)) {
    *ppv = static_cast<IShellExtInit*>(this);
  } else if (IsEqualIID(riid, IID_IContextMenu)) {
    *ppv = static_cast<IContextMenu*>(this);
  } else {
    *ppv = nullptr;
    return E_NOINTERFACE;
  }
  AddRef();
  return S_OK;
}

STDMETHODIMP_(ULONG) CShellExt::AddRef() { return ++refs_; }

STDMETHODIMP_(ULONG) CShellExt::Release() {
  ULONG refs = --refs_;
  if (refs == 0) delete this;
  return refs;
}

STDMETHODIMP CShellExt::Initialize(PCIDLIST_ABSOLUTE, IDataObject* data, HKEY) {
  return Guarded([&] { return InitializeWith(data); });
}

HRESULT CShellExt::InitializeWith(IDataObject* data) {
  data_.reset();
  hasSelection_ = false;
  if (!data) return E_FAIL;
  data_ = ComPtr<IDataObject>::Share(data);
  // Explorer waits for this on every right-click: only whether there is a
  // selection is looked at here; its paths are read when a command needs them.
  DropListData list(data_.get());
  if (!list) return E_FAIL;
  hasSelection_ = list.HasPaths();
  return S_OK;
}

STDMETHODIMP CShellExt::QueryContextMenu(HMENU menu, UINT index, UINT idCmdFirst, UINT,
                                         UINT flags) {
  return Guarded([&] { return AddMenu(menu, index, idCmdFirst, flags); });
}

HRESULT CShellExt::AddMenu(HMENU menu, UINT index, UINT idCmdFirst, UINT flags) {
  hasFiles_ = hasSelection_;
  hasClipboardText_ = IsClipboardFormatAvailable(CF_TEXT) != FALSE;
  if (!ShowsItems(flags)) return MAKE_HRESULT(SEVERITY_SUCCESS, 0, 0);
  std::vector<const MenuCommand*> commands = MenuFor(hasFiles_, hasClipboardText_);
  if (commands.empty()) return MAKE_HRESULT(SEVERITY_SUCCESS, 0, 0);

  HMENU popup = CreatePopupMenu();
  if (!popup) return MAKE_HRESULT(SEVERITY_SUCCESS, 0, 0);
  UINT id = idCmdFirst;
  for (const MenuCommand* command : commands)
    AppendMenuW(popup, MF_STRING, id++, UiString(theModule.Instance(), command->caption).c_str());
  MENUITEMINFOW item = {};
  item.cbSize = sizeof item;
  item.fMask = MIIM_SUBMENU | MIIM_STRING | MIIM_BITMAP;
  item.hSubMenu = popup;
  item.dwTypeData = const_cast<wchar_t*>(kProductName);
  item.hbmpItem = menuBitmap_;  // the program's icon beside the product name
  if (!InsertMenuItemW(menu, index, TRUE, &item)) {
    DestroyMenu(popup);
    return MAKE_HRESULT(SEVERITY_SUCCESS, 0, 0);
  }
  return MAKE_HRESULT(SEVERITY_SUCCESS, 0, static_cast<USHORT>(commands.size()));
}

STDMETHODIMP CShellExt::InvokeCommand(CMINVOKECOMMANDINFO* info) {
  return Guarded([&] { return Invoke(info); });
}

HRESULT CShellExt::Invoke(CMINVOKECOMMANDINFO* info) {
  // A verb given as text is not ours. The whole pointer is tested: a 64-bit
  // address may have bits 16 to 31 clear.
  if (!info || !IS_INTRESOURCE(info->lpVerb)) return S_OK;
  UINT offset = LOWORD(reinterpret_cast<UINT_PTR>(info->lpVerb));
  if (info->hwnd) PostMessageW(info->hwnd, WM_ENABLE, 0, 0);

  // The menu as it was shown, even if the clipboard has changed since.
  std::vector<const MenuCommand*> commands = MenuFor(hasFiles_, hasClipboardText_);
  if (commands.empty()) return S_OK;
  const MenuCommand* command = offset < commands.size() ? commands[offset] : commands[0];
  if (command->writesList) {
    // One pass over the selection, and no further than the block holds.
    const DropListData list(data_.get());
    theModule.ListWriter().WriteList(kHandoffName, list.Paths(kHandoffTextLimit));
  }
  StartVellumo(command->option);
  return S_OK;
}

void CShellExt::StartVellumo(const wchar_t* option) {
  // Program named explicitly and quoted on the command line: a folder with
  // spaces (such as under Program Files) must not let a program at a prefix
  // of its path (C:\Program.exe) start instead.
  std::wstring program = theModule.ModuleFolder() + L"Vellumo.exe";
  std::wstring commandLine = L"\"" + program + L"\" " + option;
  STARTUPINFOW startup = {};
  startup.cb = sizeof startup;
  PROCESS_INFORMATION process = {};
  if (CreateProcessW(program.c_str(), commandLine.data(), nullptr, nullptr, FALSE, 0, nullptr,
                     nullptr, &startup, &process)) {
    // Not waited for: the program runs on its own.
    UniqueHandle thread(process.hThread);
    UniqueHandle started(process.hProcess);
  }
}

STDMETHODIMP CShellExt::GetCommandString(UINT_PTR idCmd, UINT type, UINT*, CHAR* name,
                                         UINT cchMax) {
  return Guarded([&] { return CommandString(idCmd, type, reinterpret_cast<wchar_t*>(name), cchMax); });
}

HRESULT CShellExt::CommandString(UINT_PTR idCmd, UINT type, wchar_t* name, UINT cchMax) {
  // The verbs stay what they always were: scripts and the shell may know them.
  if (type == GCS_VERBW) {
    CopyToBuffer(idCmd == 0 ? L"Operation1" : idCmd == 1 ? L"Operation2" : kProductName, name, cchMax);
  } else if (type == GCS_HELPTEXTW) {
    // The help of the command at that place in the menu that was shown.
    std::vector<const MenuCommand*> commands = MenuFor(hasFiles_, hasClipboardText_);
    const std::wstring help = idCmd < commands.size() ? UiString(theModule.Instance(), commands[idCmd]->helpText)
                                                      : std::wstring(kProductName);
    CopyToBuffer(help.c_str(), name, cchMax);
  }
  return S_OK;
}

}  // namespace vellumo
