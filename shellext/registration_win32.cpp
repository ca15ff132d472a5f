#include "shellext/registration_win32.h"

#include <objbase.h>
#include <olectl.h>

#include <cwchar>
#include <string>

#include "platform/owners_win32.h"
#include "shellext/shell_ext_module_win32.h"
#include "shellext/vorlink_ids.h"

namespace vellumo {
namespace {

// What removal does with a key the table writes.
enum class KeyRule {
  kPlain,     // removed after its listed subkeys, unless something else remains below
  kReplaced,  // deleted with its subtree before writing, and on removal
  kKept,      // never deleted
  kOwned,     // deleted on removal; a key that cannot be deleted is an error
  kValueOnly, // the key is shared: removal deletes only the value written
};

// Which class a row registers. The icon handler's rows are applied as a script
// whose failures are not reported; the context-menu handler's rows decide the
// result (SELFREG_E_CLASS at the first key that can't be written or deleted).
enum class Group { kIconScript, kMenuHandler };

// Tokens in keys and data, filled in when a row is applied: the identifiers
// from vorlink_ids.h as the system formats them, the DLL's full path, and the
// product name.
constexpr wchar_t kIconClsid[] = L"{icon}";
constexpr wchar_t kMenuClsid[] = L"{menu}";
constexpr wchar_t kTypeLib[] = L"{typelib}";
constexpr wchar_t kModule[] = L"{module}";
constexpr wchar_t kProduct[] = L"{product}";

struct RegistryRow {
  Group group;
  HKEY root;
  const wchar_t* key;
  KeyRule rule;
  const wchar_t* valueName;  // null for the unnamed value
  const wchar_t* data;       // null: the key alone
  bool ntOnly = false;       // written only on the NT platform
};

#define OVERLAYS L"SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\Explorer\\ShellIconOverlayIdentifiers"
#define MENU_HANDLER L"shellex\\ContextMenuHandlers\\{product}"

// Parents come before their children; registration writes the rows in this
// order, removal takes each key's listed children before the key itself.
const RegistryRow kRegistry[] = {
    // The icon handler's class.
    {Group::kIconScript, HKEY_CLASSES_ROOT, L"Tessel.OrvfileShellIcon.1", KeyRule::kPlain, nullptr, L"OrvfileShellIcon Class"},
    {Group::kIconScript, HKEY_CLASSES_ROOT, L"Tessel.OrvfileShellIcon.1\\CLSID", KeyRule::kPlain, nullptr, kIconClsid},
    {Group::kIconScript, HKEY_CLASSES_ROOT, L"Tessel.OrvfileShellIcon", KeyRule::kPlain, nullptr, L"OrvfileShellIcon Class"},
    {Group::kIconScript, HKEY_CLASSES_ROOT, L"Tessel.OrvfileShellIcon\\CLSID", KeyRule::kPlain, nullptr, kIconClsid},
    {Group::kIconScript, HKEY_CLASSES_ROOT, L"Tessel.OrvfileShellIcon\\CurVer", KeyRule::kPlain, nullptr, L"Tessel.OrvfileShellIcon.1"},
    {Group::kIconScript, HKEY_CLASSES_ROOT, L"CLSID", KeyRule::kKept, nullptr, nullptr},
    {Group::kIconScript, HKEY_CLASSES_ROOT, L"CLSID\\{icon}", KeyRule::kReplaced, nullptr, L"OrvfileShellIcon Class"},
    {Group::kIconScript, HKEY_CLASSES_ROOT, L"CLSID\\{icon}\\ProgID", KeyRule::kPlain, nullptr, L"Tessel.OrvfileShellIcon.1"},
    {Group::kIconScript, HKEY_CLASSES_ROOT, L"CLSID\\{icon}\\VersionIndependentProgID", KeyRule::kPlain, nullptr, L"Tessel.OrvfileShellIcon"},
    {Group::kIconScript, HKEY_CLASSES_ROOT, L"CLSID\\{icon}\\Programmable", KeyRule::kReplaced, nullptr, nullptr},
    {Group::kIconScript, HKEY_CLASSES_ROOT, L"CLSID\\{icon}\\InprocServer32", KeyRule::kPlain, nullptr, kModule},
    {Group::kIconScript, HKEY_CLASSES_ROOT, L"CLSID\\{icon}\\InprocServer32", KeyRule::kPlain, L"ThreadingModel", L"Apartment"},
    {Group::kIconScript, HKEY_CLASSES_ROOT, L"CLSID\\{icon}\\TypeLib", KeyRule::kPlain, nullptr, kTypeLib},
    {Group::kIconScript, HKEY_CLASSES_ROOT, L"ORV", KeyRule::kKept, nullptr, nullptr},
    {Group::kIconScript, HKEY_CLASSES_ROOT, L"ORV\\DefaultIcon", KeyRule::kKept, nullptr, L"%1"},
    {Group::kIconScript, HKEY_CLASSES_ROOT, L"ORV\\ShellEx", KeyRule::kKept, nullptr, nullptr},
    {Group::kIconScript, HKEY_CLASSES_ROOT, L"ORV\\ShellEx\\IconHandler", KeyRule::kReplaced, nullptr, kIconClsid},
    {Group::kIconScript, HKEY_LOCAL_MACHINE, OVERLAYS, KeyRule::kKept, nullptr, nullptr},
    {Group::kIconScript, HKEY_LOCAL_MACHINE, OVERLAYS L"\\ZentrikIcon", KeyRule::kReplaced, nullptr, kIconClsid},
    // The context-menu handler.
    {Group::kMenuHandler, HKEY_CLASSES_ROOT, L"CLSID\\{menu}", KeyRule::kOwned, nullptr, kProduct},
    {Group::kMenuHandler, HKEY_CLASSES_ROOT, L"CLSID\\{menu}\\InProcServer32", KeyRule::kOwned, nullptr, kModule},
    {Group::kMenuHandler, HKEY_CLASSES_ROOT, L"CLSID\\{menu}\\InProcServer32", KeyRule::kOwned, L"ThreadingModel", L"Apartment"},
    {Group::kMenuHandler, HKEY_CLASSES_ROOT, L"*\\" MENU_HANDLER, KeyRule::kOwned, nullptr, kMenuClsid},
    {Group::kMenuHandler, HKEY_CLASSES_ROOT, L"Folder\\" MENU_HANDLER, KeyRule::kOwned, nullptr, kMenuClsid},
    {Group::kMenuHandler, HKEY_LOCAL_MACHINE, L"Software\\Microsoft\\Windows\\CurrentVersion\\Shell Extensions\\Approved",
     KeyRule::kValueOnly, kMenuClsid, L"Folder\\" MENU_HANDLER, true},
};
constexpr size_t kRowCount = sizeof kRegistry / sizeof kRegistry[0];

std::wstring GuidText(const GUID& guid) {
  wchar_t text[40];
  StringFromGUID2(guid, text, 40);
  return text;
}

// A row's text with its tokens filled in.
std::wstring Expand(const wchar_t* text) {
  if (!text) return std::wstring();
  struct Token {
    const wchar_t* name;
    std::wstring value;
  };
  const Token tokens[] = {
      {kIconClsid, GuidText(kClsidOrvfileShellIcon)},
      {kMenuClsid, GuidText(kClsidShellExt)},
      {kTypeLib, GuidText(kLibidVorlink)},
      {kModule, theModule.ModulePath()},
      {kProduct, kProductName},
  };
  std::wstring out = text;
  for (const Token& token : tokens) {
    const std::wstring name = token.name;
    for (size_t at = out.find(name); at != std::wstring::npos; at = out.find(name, at + token.value.size())) {
      out.replace(at, name.size(), token.value);
    }
  }
  return out;
}

bool SameKey(const RegistryRow& a, const RegistryRow& b) {
  return a.group == b.group && a.root == b.root && lstrcmpiW(a.key, b.key) == 0;
}

// `child` lies below `parent` (in the same group).
bool IsBelow(const RegistryRow& child, const RegistryRow& parent) {
  if (child.group != parent.group || child.root != parent.root) return false;
  const size_t n = wcslen(parent.key);
  return wcslen(child.key) > n && _wcsnicmp(child.key, parent.key, n) == 0 && child.key[n] == L'\\';
}

bool IsNtPlatform() {
  OSVERSIONINFOW version = {};
  version.dwOSVersionInfoSize = sizeof version;
  return GetVersionExW(&version) && version.dwPlatformId == VER_PLATFORM_WIN32_NT;
}

bool SetString(HKEY key, const std::wstring& name, const std::wstring& data) {
  return RegSetValueExW(key, name.empty() ? nullptr : name.c_str(), 0, REG_SZ,
                        reinterpret_cast<const BYTE*>(data.c_str()),
                        static_cast<DWORD>((data.size() + 1) * sizeof(wchar_t))) == ERROR_SUCCESS;
}

bool WriteRow(const RegistryRow& row, bool firstRowOfKey) {
  const std::wstring key = Expand(row.key);
  if (row.rule == KeyRule::kReplaced && firstRowOfKey) {
    RegDeleteTreeW(row.root, key.c_str());
    RegDeleteKeyW(row.root, key.c_str());
  }
  UniqueKey handle;
  if (RegCreateKeyExW(row.root, key.c_str(), 0, nullptr, 0, KEY_WRITE, nullptr, handle.receive(), nullptr) !=
      ERROR_SUCCESS) {
    return false;
  }
  return !row.data || SetString(handle.get(), Expand(row.valueName), Expand(row.data));
}

bool HasSubkeys(HKEY root, const std::wstring& path) {
  UniqueKey key;
  if (RegOpenKeyExW(root, path.c_str(), 0, KEY_READ, key.receive()) != ERROR_SUCCESS) return false;
  DWORD subkeys = 0;
  const LONG rc = RegQueryInfoKeyW(key.get(), nullptr, nullptr, nullptr, &subkeys, nullptr, nullptr, nullptr,
                                   nullptr, nullptr, nullptr, nullptr);
  return rc != ERROR_SUCCESS || subkeys > 0;
}

// Removes what one key's rows wrote. Something already gone counts as removed,
// so removing twice works.
bool RemoveRow(const RegistryRow& row) {
  const std::wstring key = Expand(row.key);
  LONG rc = ERROR_SUCCESS;
  switch (row.rule) {
    case KeyRule::kReplaced:
      RegDeleteTreeW(row.root, key.c_str());
      rc = RegDeleteKeyW(row.root, key.c_str());
      break;
    case KeyRule::kPlain:
      if (!HasSubkeys(row.root, key)) rc = RegDeleteKeyW(row.root, key.c_str());
      break;
    case KeyRule::kOwned:
      rc = RegDeleteKeyW(row.root, key.c_str());
      break;
    case KeyRule::kValueOnly: {
      UniqueKey handle;
      rc = RegOpenKeyExW(row.root, key.c_str(), 0, KEY_SET_VALUE, handle.receive());
      if (rc == ERROR_SUCCESS) rc = RegDeleteValueW(handle.get(), Expand(row.valueName).c_str());
      break;
    }
    case KeyRule::kKept:
      break;
  }
  return rc == ERROR_SUCCESS || rc == ERROR_FILE_NOT_FOUND;
}

// Registration: every row of the group in order, stopping at the first failure.
bool WriteGroup(Group group) {
  const bool nt = IsNtPlatform();
  for (size_t i = 0; i < kRowCount; ++i) {
    const RegistryRow& row = kRegistry[i];
    if (row.group != group || (row.ntOnly && !nt)) continue;
    const bool first = i == 0 || !SameKey(kRegistry[i - 1], row);
    if (!WriteRow(row, first)) return false;
  }
  return true;
}

// Removal of the key of row `i` after the keys listed below it, each key once.
bool RemoveKeyAndChildren(size_t i, bool done[]) {
  for (size_t j = i + 1; j < kRowCount; ++j) {
    if (!done[j] && IsBelow(kRegistry[j], kRegistry[i]) && !RemoveKeyAndChildren(j, done)) return false;
  }
  for (size_t j = i; j < kRowCount; ++j) {
    if (SameKey(kRegistry[j], kRegistry[i])) done[j] = true;
  }
  return RemoveRow(kRegistry[i]);
}

bool RemoveGroup(Group group) {
  bool done[kRowCount] = {};
  for (size_t i = 0; i < kRowCount; ++i) {
    if (kRegistry[i].group == group && !done[i] && !RemoveKeyAndChildren(i, done)) return false;
  }
  return true;
}

}  // namespace

HRESULT RegisterUnregister(bool registering) {
  // The icon handler's script first; a partial script is no worse than none,
  // and its outcome is not reported. No type library is built in, so there is
  // none to register or remove.
  if (registering) {
    WriteGroup(Group::kIconScript);
    return WriteGroup(Group::kMenuHandler) ? S_OK : SELFREG_E_CLASS;
  }
  RemoveGroup(Group::kIconScript);
  return RemoveGroup(Group::kMenuHandler) ? S_OK : SELFREG_E_CLASS;
}

}  // namespace vellumo
