#include "shellext/registration_win32.h"

#include <objbase.h>
#include <olectl.h>

#include <string>
#include <vector>

#include "shellext/tessel_app_win32.h"
#include "shellext/vorlink_ids.h"

namespace vellumo {
namespace {

// --- The icon handler's class script ---

enum class KeyRule {
  kPlain,     // removed after its listed subkeys, unless something else remains below
  kReplaced,  // deleted with its subtree before writing, and on removal
  kKept,      // never deleted
};

// Stands for the DLL's full path in the script's data.
constexpr wchar_t kModulePath[] = L"%MODULE%";

struct ScriptRow {
  HKEY root;
  const wchar_t* key;
  KeyRule rule;
  const wchar_t* valueName;  // null for the unnamed value
  const wchar_t* data;       // null: the key alone
};

#define VORLINK_ICON_CLSID L"{2821B958-D569-4E37-ACA6-FD4C2283DBE5}"
#define VORLINK_ICON_KEY L"CLSID\\" VORLINK_ICON_CLSID
#define VORLINK_OVERLAYS L"SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\Explorer\\ShellIconOverlayIdentifiers"

// Parents come before their children; removal walks the rows backwards.
const ScriptRow kIconScript[] = {
    {HKEY_CLASSES_ROOT, L"Tessel.OrvfileShellIcon.1", KeyRule::kPlain, nullptr, L"OrvfileShellIcon Class"},
    {HKEY_CLASSES_ROOT, L"Tessel.OrvfileShellIcon.1\\CLSID", KeyRule::kPlain, nullptr, VORLINK_ICON_CLSID},
    {HKEY_CLASSES_ROOT, L"Tessel.OrvfileShellIcon", KeyRule::kPlain, nullptr, L"OrvfileShellIcon Class"},
    {HKEY_CLASSES_ROOT, L"Tessel.OrvfileShellIcon\\CLSID", KeyRule::kPlain, nullptr, VORLINK_ICON_CLSID},
    {HKEY_CLASSES_ROOT, L"Tessel.OrvfileShellIcon\\CurVer", KeyRule::kPlain, nullptr, L"Tessel.OrvfileShellIcon.1"},
    {HKEY_CLASSES_ROOT, L"CLSID", KeyRule::kKept, nullptr, nullptr},
    {HKEY_CLASSES_ROOT, VORLINK_ICON_KEY, KeyRule::kReplaced, nullptr, L"OrvfileShellIcon Class"},
    {HKEY_CLASSES_ROOT, VORLINK_ICON_KEY L"\\ProgID", KeyRule::kPlain, nullptr, L"Tessel.OrvfileShellIcon.1"},
    {HKEY_CLASSES_ROOT, VORLINK_ICON_KEY L"\\VersionIndependentProgID", KeyRule::kPlain, nullptr, L"Tessel.OrvfileShellIcon"},
    {HKEY_CLASSES_ROOT, VORLINK_ICON_KEY L"\\Programmable", KeyRule::kReplaced, nullptr, nullptr},
    {HKEY_CLASSES_ROOT, VORLINK_ICON_KEY L"\\InprocServer32", KeyRule::kPlain, nullptr, kModulePath},
    {HKEY_CLASSES_ROOT, VORLINK_ICON_KEY L"\\InprocServer32", KeyRule::kPlain, L"ThreadingModel", L"Apartment"},
    {HKEY_CLASSES_ROOT, VORLINK_ICON_KEY L"\\TypeLib", KeyRule::kPlain, nullptr, L"{51EC399B-CCD5-4822-910A-F14471BEBED8}"},
    {HKEY_CLASSES_ROOT, L"ORV", KeyRule::kKept, nullptr, nullptr},
    {HKEY_CLASSES_ROOT, L"ORV\\DefaultIcon", KeyRule::kKept, nullptr, L"%1"},
    {HKEY_CLASSES_ROOT, L"ORV\\ShellEx", KeyRule::kKept, nullptr, nullptr},
    {HKEY_CLASSES_ROOT, L"ORV\\ShellEx\\IconHandler", KeyRule::kReplaced, nullptr, VORLINK_ICON_CLSID},
    {HKEY_LOCAL_MACHINE, VORLINK_OVERLAYS, KeyRule::kKept, nullptr, nullptr},
    {HKEY_LOCAL_MACHINE, VORLINK_OVERLAYS L"\\ZentrikIcon", KeyRule::kReplaced, nullptr, VORLINK_ICON_CLSID},
};

bool SetString(HKEY key, const wchar_t* name, const std::wstring& data) {
  return RegSetValueExW(key, name, 0, REG_SZ, reinterpret_cast<const BYTE*>(data.c_str()),
                        static_cast<DWORD>((data.size() + 1) * sizeof(wchar_t))) == ERROR_SUCCESS;
}

bool WriteScriptRow(const ScriptRow& row, bool firstRowOfKey) {
  if (row.rule == KeyRule::kReplaced && firstRowOfKey) {
    RegDeleteTreeW(row.root, row.key);
    RegDeleteKeyW(row.root, row.key);
  }
  HKEY key;
  if (RegCreateKeyExW(row.root, row.key, 0, nullptr, 0, KEY_WRITE, nullptr, &key, nullptr) != ERROR_SUCCESS)
    return false;
  bool ok = true;
  if (row.data) {
    std::wstring data = row.data == kModulePath ? theApp.ModulePath() : std::wstring(row.data);
    ok = SetString(key, row.valueName, data);
  }
  RegCloseKey(key);
  return ok;
}

bool HasSubkeys(HKEY root, const wchar_t* path) {
  HKEY key;
  if (RegOpenKeyExW(root, path, 0, KEY_READ, &key) != ERROR_SUCCESS) return false;
  DWORD subkeys = 0;
  LONG rc = RegQueryInfoKeyW(key, nullptr, nullptr, nullptr, &subkeys, nullptr, nullptr, nullptr,
                             nullptr, nullptr, nullptr, nullptr);
  RegCloseKey(key);
  return rc != ERROR_SUCCESS || subkeys > 0;
}

bool RemoveScriptKey(const ScriptRow& row) {
  LONG rc = ERROR_SUCCESS;
  if (row.rule == KeyRule::kReplaced) {
    RegDeleteTreeW(row.root, row.key);
    rc = RegDeleteKeyW(row.root, row.key);
  } else if (row.rule == KeyRule::kPlain && !HasSubkeys(row.root, row.key)) {
    rc = RegDeleteKeyW(row.root, row.key);
  }
  return rc == ERROR_SUCCESS || rc == ERROR_FILE_NOT_FOUND;
}

bool SameKey(const ScriptRow& a, const ScriptRow& b) {
  return a.root == b.root && lstrcmpiW(a.key, b.key) == 0;
}

// Stops at the first failure, as a partial script is no worse than none; its
// outcome is not reported (only the context-menu entries' is).
void ApplyIconScript(bool registering) {
  const size_t rows = sizeof kIconScript / sizeof kIconScript[0];
  if (registering) {
    for (size_t i = 0; i < rows; ++i) {
      bool first = i == 0 || !SameKey(kIconScript[i - 1], kIconScript[i]);
      if (!WriteScriptRow(kIconScript[i], first)) return;
    }
  } else {
    for (size_t i = rows; i-- > 0;) {
      if (i > 0 && SameKey(kIconScript[i - 1], kIconScript[i])) continue;  // once per key
      if (!RemoveScriptKey(kIconScript[i])) return;
    }
  }
}

// --- The context-menu handler's entries ---

struct HandlerEntry {
  HKEY root;
  std::wstring key;
  const wchar_t* valueName;  // null for the unnamed value
  std::wstring data;
};

std::wstring ShellExtClsid() {
  wchar_t text[40];
  StringFromGUID2(kClsidShellExt, text, 40);
  return text;
}

const wchar_t kApprovedKey[] = L"Software\\Microsoft\\Windows\\CurrentVersion\\Shell Extensions\\Approved";

bool IsNtPlatform() {
  OSVERSIONINFOW version = {};
  version.dwOSVersionInfoSize = sizeof version;
  return GetVersionExW(&version) && version.dwPlatformId == VER_PLATFORM_WIN32_NT;
}

HRESULT WriteHandlerEntries() {
  const std::wstring clsid = ShellExtClsid();
  const std::wstring classKey = L"CLSID\\" + clsid;
  const std::wstring product = kProductName;
  std::vector<HandlerEntry> entries = {
      {HKEY_CLASSES_ROOT, classKey, nullptr, product},
      {HKEY_CLASSES_ROOT, classKey + L"\\InProcServer32", nullptr, theApp.ModulePath()},
      {HKEY_CLASSES_ROOT, classKey + L"\\InProcServer32", L"ThreadingModel", L"Apartment"},
      {HKEY_CLASSES_ROOT, L"*\\shellex\\ContextMenuHandlers\\" + product, nullptr, clsid},
      {HKEY_CLASSES_ROOT, L"Folder\\shellex\\ContextMenuHandlers\\" + product, nullptr, clsid},
  };
  if (IsNtPlatform())
    entries.push_back({HKEY_LOCAL_MACHINE, kApprovedKey, clsid.c_str(),
                       L"Folder\\shellex\\ContextMenuHandlers\\" + product});
  for (const HandlerEntry& entry : entries) {
    HKEY key;
    if (RegCreateKeyExW(entry.root, entry.key.c_str(), 0, nullptr, 0, KEY_WRITE, nullptr, &key,
                        nullptr) != ERROR_SUCCESS)
      return SELFREG_E_CLASS;
    bool ok = SetString(key, entry.valueName, entry.data);
    RegCloseKey(key);
    if (!ok) return SELFREG_E_CLASS;
  }
  return S_OK;
}

// An entry that is already gone counts as removed, so removing twice works.
HRESULT RemoveHandlerEntries() {
  const std::wstring clsid = ShellExtClsid();
  const std::wstring product = kProductName;
  const std::wstring keys[] = {
      L"CLSID\\" + clsid + L"\\InProcServer32",
      L"CLSID\\" + clsid,
      L"*\\shellex\\ContextMenuHandlers\\" + product,
      L"Folder\\shellex\\ContextMenuHandlers\\" + product,
  };
  for (const std::wstring& key : keys) {
    LONG rc = RegDeleteKeyW(HKEY_CLASSES_ROOT, key.c_str());
    if (rc != ERROR_SUCCESS && rc != ERROR_FILE_NOT_FOUND) return SELFREG_E_CLASS;
  }
  // The approval value that registration wrote.
  HKEY approved;
  LONG rc = RegOpenKeyExW(HKEY_LOCAL_MACHINE, kApprovedKey, 0, KEY_SET_VALUE, &approved);
  if (rc == ERROR_SUCCESS) {
    rc = RegDeleteValueW(approved, clsid.c_str());
    RegCloseKey(approved);
  }
  if (rc != ERROR_SUCCESS && rc != ERROR_FILE_NOT_FOUND) return SELFREG_E_CLASS;
  return S_OK;
}

}  // namespace

HRESULT RegisterUnregister(bool registering) {
  // No type library is built in, so there is none to register or remove.
  ApplyIconScript(registering);
  return registering ? WriteHandlerEntries() : RemoveHandlerEntries();
}

}  // namespace vellumo
