#include "vorlink_host_win32.h"

#include <gtest/gtest.h>
#include <shlobj.h>

#include <filesystem>
#include <fstream>
#include <memory>
#include <sstream>

#include "test_support.h"

#ifndef VORLINK_DLL_NAME
#define VORLINK_DLL_NAME L"Vorlink64.dll"
#endif

namespace vellumo::testing {
namespace {

VorlinkModule* module = nullptr;
std::filesystem::path logFolder;

class VorlinkEnvironment : public ::testing::Environment {
 public:
  void SetUp() override {
    CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED);
    temp_ = std::make_unique<TempDir>();
    std::filesystem::path folder = temp_->path() / L"Vorlink test" / L"Program folder";
    std::filesystem::create_directories(folder);
    const std::filesystem::path program = VORLINK_PROGRAM;
    std::filesystem::copy_file(VORLINK_DLL, folder / VORLINK_DLL_NAME);
    std::filesystem::copy_file(program, folder / L"Vellumo.exe");
    // The program's key database template, if it has one.
    std::error_code none;
    std::filesystem::copy_file(program.parent_path() / L"docset.dat", folder / L"docset.dat", none);
    // What an unquoted command line would start first.
    std::filesystem::copy_file(program, temp_->path() / L"Vorlink.exe");

    module = new VorlinkModule;
    module->folder = folder.wstring() + L"\\";
    module->dllPath = module->folder + VORLINK_DLL_NAME;
    module->decoyPath = (temp_->path() / L"Vorlink.exe").wstring();
    logFolder = temp_->path();
    ClearStartRecords();
    module->module = LoadLibraryW(module->dllPath.c_str());
    ASSERT_NE(module->module, nullptr);
    module->getClassObject = reinterpret_cast<decltype(module->getClassObject)>(
        reinterpret_cast<void*>(GetProcAddress(module->module, "DllGetClassObject")));
    module->canUnloadNow = reinterpret_cast<decltype(module->canUnloadNow)>(
        reinterpret_cast<void*>(GetProcAddress(module->module, "DllCanUnloadNow")));
    ASSERT_NE(module->getClassObject, nullptr);
    ASSERT_NE(module->canUnloadNow, nullptr);
  }

  void TearDown() override {
    if (module && module->module) FreeLibrary(module->module);
    delete module;
    module = nullptr;
    temp_.reset();
    CoUninitialize();
  }

 private:
  std::unique_ptr<TempDir> temp_;
};

const auto* const environment = ::testing::AddGlobalTestEnvironment(new VorlinkEnvironment);

class DropList : public IDataObject {
 public:
  DropList(const std::vector<uint8_t>& bytes, bool offersDropList) : bytes_(bytes), offersDropList_(offersDropList) {}
  void SetBytes(const std::vector<uint8_t>& bytes) { bytes_ = bytes; }

  STDMETHODIMP QueryInterface(REFIID riid, void** ppv) override {
    if (IsEqualIID(riid, IID_IUnknown) || IsEqualIID(riid, IID_IDataObject)) {
      *ppv = static_cast<IDataObject*>(this);
      AddRef();
      return S_OK;
    }
    *ppv = nullptr;
    return E_NOINTERFACE;
  }
  STDMETHODIMP_(ULONG) AddRef() override { return ++refs_; }
  STDMETHODIMP_(ULONG) Release() override {
    ULONG refs = --refs_;
    if (refs == 0) delete this;
    return refs;
  }

  STDMETHODIMP GetData(FORMATETC* format, STGMEDIUM* medium) override {
    if (!offersDropList_ || format->cfFormat != CF_HDROP || !(format->tymed & TYMED_HGLOBAL))
      return DV_E_FORMATETC;
    HGLOBAL memory = GlobalAlloc(GMEM_MOVEABLE, bytes_.size());
    memcpy(GlobalLock(memory), bytes_.data(), bytes_.size());
    GlobalUnlock(memory);
    medium->tymed = TYMED_HGLOBAL;
    medium->hGlobal = memory;
    medium->pUnkForRelease = nullptr;
    return S_OK;
  }
  STDMETHODIMP GetDataHere(FORMATETC*, STGMEDIUM*) override { return E_NOTIMPL; }
  STDMETHODIMP QueryGetData(FORMATETC* format) override {
    return offersDropList_ && format->cfFormat == CF_HDROP ? S_OK : DV_E_FORMATETC;
  }
  STDMETHODIMP GetCanonicalFormatEtc(FORMATETC*, FORMATETC*) override { return E_NOTIMPL; }
  STDMETHODIMP SetData(FORMATETC*, STGMEDIUM*, BOOL) override { return E_NOTIMPL; }
  STDMETHODIMP EnumFormatEtc(DWORD, IEnumFORMATETC**) override { return E_NOTIMPL; }
  STDMETHODIMP DAdvise(FORMATETC*, DWORD, IAdviseSink*, DWORD*) override { return E_NOTIMPL; }
  STDMETHODIMP DUnadvise(DWORD) override { return E_NOTIMPL; }
  STDMETHODIMP EnumDAdvise(IEnumSTATDATA**) override { return E_NOTIMPL; }

 private:
  virtual ~DropList() = default;
  ULONG refs_ = 1;
  std::vector<uint8_t> bytes_;
  bool offersDropList_;
};

HWND ClipboardOwner() {
  static HWND window = CreateWindowExW(0, L"STATIC", L"", 0, 0, 0, 0, 0, HWND_MESSAGE, nullptr,
                                       nullptr, nullptr);
  return window;
}

}  // namespace

const VorlinkModule& Vorlink() { return *module; }

std::vector<StartRecord> StartRecords() {
  std::vector<StartRecord> records;
  std::ifstream in(std::filesystem::path(module->logPath), std::ios::binary);
  std::string line;
  while (std::getline(in, line)) {
    size_t bar = line.find('|');
    if (bar == std::string::npos) continue;
    records.push_back({Widen(line.substr(0, bar)), Widen(line.substr(bar + 1))});
  }
  return records;
}

std::vector<StartRecord> WaitForStartRecords(size_t count) {
  for (int i = 0; i < 600; ++i) {
    std::vector<StartRecord> records = StartRecords();
    if (records.size() >= count) return records;
    Sleep(50);
  }
  return StartRecords();
}

// A new log for what starts from now on (programs inherit the name), so a
// late writer from before, or a log still held open, can't show up in it.
void ClearStartRecords() {
  static int generation = 0;
  module->logPath = (logFolder / (L"started-" + std::to_wstring(++generation) + L".txt")).wstring();
  SetEnvironmentVariableW(L"VORLINK_RECORD", module->logPath.c_str());
}

void SetClipboardHasText(bool hasText) {
  for (int i = 0; i < 50 && !OpenClipboard(ClipboardOwner()); ++i) Sleep(20);
  EmptyClipboard();
  if (hasText) {
    HGLOBAL text = GlobalAlloc(GMEM_MOVEABLE, 6);
    memcpy(GlobalLock(text), "hello", 6);
    GlobalUnlock(text);
    SetClipboardData(CF_TEXT, text);
  }
  CloseClipboard();
  ASSERT_EQ(IsClipboardFormatAvailable(CF_TEXT) != FALSE, hasText);
}

std::vector<uint8_t> DropListBytes(const std::vector<std::wstring>& paths, bool wide) {
  std::vector<uint8_t> bytes(sizeof(DROPFILES));
  DROPFILES header = {};
  header.pFiles = sizeof(DROPFILES);
  header.fWide = wide;
  memcpy(bytes.data(), &header, sizeof header);
  auto append = [&](const void* data, size_t n) {
    bytes.insert(bytes.end(), static_cast<const uint8_t*>(data), static_cast<const uint8_t*>(data) + n);
  };
  for (const std::wstring& path : paths) {
    if (wide) {
      append(path.c_str(), (path.size() + 1) * sizeof(wchar_t));
    } else {
      char ansi[1024];
      const int n = WideCharToMultiByte(CP_ACP, 0, path.c_str(), -1, ansi, sizeof ansi, nullptr, nullptr);
      append(ansi, static_cast<size_t>(n));
    }
  }
  // The list ends with an empty entry; an empty list is two zero characters.
  const size_t zeros = paths.empty() ? 2 : 1;
  bytes.insert(bytes.end(), zeros * (wide ? sizeof(wchar_t) : 1), 0);
  return bytes;
}

IDataObject* NewDropList(const std::vector<std::wstring>& paths, bool offersDropList) {
  return new DropList(DropListBytes(paths), offersDropList);
}

void SetDropListPaths(IDataObject* list, const std::vector<std::wstring>& paths) {
  static_cast<DropList*>(list)->SetBytes(DropListBytes(paths));
}

IDataObject* NewRawDropList(const std::vector<uint8_t>& bytes) { return new DropList(bytes, true); }

}  // namespace vellumo::testing
