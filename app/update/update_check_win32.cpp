#include "app/update/update_check_win32.h"

#include <shellapi.h>
#include <objbase.h>
#include <urlmon.h>

#include <cwchar>
#include <ctime>
#include <vector>

#include "app/settings_win32.h"
#include "app/vellumo_app_win32.h"
#include "app/update/update_rules.h"
#include "app/update/updater_signature.h"
#include "platform/owners_win32.h"

#ifndef VELLUMO_UPDATE_SERVER
#error "VELLUMO_UPDATE_SERVER (the update server's base address) must be defined by the build"
#endif
#ifndef VELLUMO_UPDATE_PUBLIC_KEY
#error "VELLUMO_UPDATE_PUBLIC_KEY (hex, or empty for a build that starts no updater) must be defined by the build"
#endif

namespace vellumo {
namespace {

constexpr wchar_t kUpdateServer[] = L"" VELLUMO_UPDATE_SERVER;
constexpr char kUpdatePublicKey[] = VELLUMO_UPDATE_PUBLIC_KEY;
constexpr wchar_t kUnsignedUpdater[] = L"下载的更新程序没有有效的签名，已删除，不会运行。";

std::wstring ReadDescription(const std::wstring& file, const wchar_t* key) {
  wchar_t value[256] = {};
  GetPrivateProfileStringW(L"quennel", key, L"", value, 256, file.c_str());
  return value;
}

bool Download(const std::wstring& url, const std::wstring& file) {
  DeleteFileW(file.c_str());
  return URLDownloadToFileW(nullptr, url.c_str(), file.c_str(), 0, nullptr) == S_OK;
}

// Opens the downloaded updater so that, until `held` goes, others may read it
// but not change, replace or remove it, and checks its signature: what was
// checked is what is started.
bool HoldSignedUpdater(const std::wstring& updater, const std::wstring& signature, UniqueFile& held) {
  held.reset(CreateFileW(updater.c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING,
                         FILE_ATTRIBUTE_NORMAL, nullptr));
  LARGE_INTEGER size;
  if (!held || !GetFileSizeEx(held.get(), &size) || size.QuadPart < 0 ||
      static_cast<uint64_t>(size.QuadPart) > kMaxUpdaterBytes) {
    return false;
  }
  std::vector<uint8_t> bytes(static_cast<size_t>(size.QuadPart));
  DWORD got = 0;
  for (size_t done = 0; done < bytes.size(); done += got) {
    const DWORD want = static_cast<DWORD>(bytes.size() - done > (1u << 30) ? (1u << 30) : bytes.size() - done);
    if (!ReadFile(held.get(), bytes.data() + done, want, &got, nullptr) || got == 0) return false;
  }
  return UpdaterSignatureValid(bytes.data(), bytes.size(), signature, kUpdatePublicKey);
}

}  // namespace

std::wstring ReadFileVersion(const std::wstring& path) {
  DWORD handle = 0;
  DWORD size = GetFileVersionInfoSizeW(path.c_str(), &handle);
  if (size == 0) return {};
  std::vector<BYTE> info(size);
  if (!GetFileVersionInfoW(path.c_str(), 0, size, info.data())) return {};
  struct Translation {
    WORD language;
    WORD codePage;
  };
  Translation* translations = nullptr;
  UINT length = 0;
  if (!VerQueryValueW(info.data(), L"\\VarFileInfo\\Translation", reinterpret_cast<void**>(&translations), &length))
    return {};
  for (UINT i = 0; i < length / sizeof(Translation); ++i) {
    wchar_t block[64];
    swprintf(block, 64, L"\\StringFileInfo\\%04x%04x\\FileVersion", translations[i].language,
             translations[i].codePage);
    wchar_t* text = nullptr;
    UINT textLength = 0;
    if (VerQueryValueW(info.data(), block, reinterpret_cast<void**>(&text), &textLength) && text != nullptr)
      return text;
  }
  return {};
}

DWORD WINAPI UpdateCheckThread(LPVOID dialogWindow) {
  // The download and the shell start both want COM on their thread.
  struct ComScope {
    HRESULT result = CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED | COINIT_DISABLE_OLE1DDE);
    ~ComScope() {
      if (SUCCEEDED(result)) CoUninitialize();
    }
  } com;
  uint32_t last = ReadLastUpdateCheck(theApp.settingsFile);
  int64_t now = static_cast<int64_t>(std::time(nullptr));
  if (!UpdateCheckDue(last, now)) return 1;
  // Stored before anything is fetched, so a failed check also waits three days.
  WriteLastUpdateCheck(theApp.settingsFile, static_cast<uint32_t>(now));

  std::wstring current = ReadFileVersion(theApp.modulePath);
  std::wstring description = theApp.settingsFolder + L"qorixupdate.txt";
  if (!Download(std::wstring(kUpdateServer) + L"/update.txt", description)) return 1;
  std::wstring newVersion = ReadDescription(description, L"version");
  std::wstring updaterAddress = ReadDescription(description, L"update");
  std::wstring signature = ReadDescription(description, L"signature");
  if (current == newVersion) return 1;

  // The updater is run as it comes: never from a plain-http address on the
  // network, where anyone on the way could swap it.
  if (!IsAllowedUpdaterAddress(updaterAddress)) return 1;
  std::wstring updater = theApp.settingsFolder + L"update.exe";
  if (!Download(updaterAddress, updater)) return 1;
  // Whatever the description names, only the vendor's signed updater runs.
  UniqueFile held;
  if (!HoldSignedUpdater(updater, signature, held)) {
    held.reset();
    DeleteFileW(updater.c_str());
    MessageBoxW(static_cast<HWND>(dialogWindow), kUnsignedUpdater, L"提示", MB_OK | MB_ICONWARNING | MB_TOPMOST);
    return 1;
  }
  ShellExecuteW(nullptr, L"open", updater.c_str(), nullptr, nullptr, SW_SHOW);
  return 1;
}

}  // namespace vellumo
