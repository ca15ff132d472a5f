// Vorlink64's code (entry points included) in a program of its own, whose
// allocator can be told to fail: every allocation a COM entry point makes is
// made to fail in turn, and each time the entry point answers E_OUTOFMEMORY
// instead of letting the exception into Explorer. An exception of any other
// kind (here from a data object) comes out as E_FAIL.
#include <gtest/gtest.h>
#include <windows.h>
#include <shlobj.h>

#include <functional>
#include <new>
#include <stdexcept>
#include <string>
#include <vector>

#include "shellext/shell_ext_module_win32.h"
#include "shellext/vorlink_ids.h"

extern "C" HRESULT WINAPI DllGetClassObject(REFCLSID rclsid, REFIID riid, void** ppv);

namespace {

long failAt = -1;     // the allocation, counted from the arming, that throws; -1: none
long allocations = 0;
bool failed = false;  // the armed allocation was reached

}  // namespace

void* operator new(std::size_t size) {
  if (failAt >= 0 && allocations++ == failAt) {
    failed = true;
    throw std::bad_alloc();
  }
  if (void* memory = HeapAlloc(GetProcessHeap(), 0, size ? size : 1)) return memory;
  throw std::bad_alloc();
}
void operator delete(void* memory) noexcept {
  if (memory) HeapFree(GetProcessHeap(), 0, memory);
}
void operator delete(void* memory, std::size_t) noexcept { operator delete(memory); }

namespace vellumo {
namespace {

// Makes allocation `n` (from 0) of the scope throw std::bad_alloc.
class FailingAllocation {
 public:
  explicit FailingAllocation(long n) {
    allocations = 0;
    failed = false;
    failAt = n;
  }
  ~FailingAllocation() { failAt = -1; }
  FailingAllocation(const FailingAllocation&) = delete;
  FailingAllocation& operator=(const FailingAllocation&) = delete;
};

class ModuleEnvironment : public ::testing::Environment {
 public:
  void SetUp() override {
    CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED);
    theModule.InitInstance(GetModuleHandleW(nullptr));
  }
};
const auto* const environment = ::testing::AddGlobalTestEnvironment(new ModuleEnvironment);

// A data object with a drop list of one path, or one whose GetData throws.
class Selection : public IDataObject {
 public:
  explicit Selection(bool throws) : throws_(throws) {}
  STDMETHODIMP QueryInterface(REFIID riid, void** ppv) override {
    *ppv = IsEqualIID(riid, IID_IUnknown) || IsEqualIID(riid, IID_IDataObject) ? this : nullptr;
    if (!*ppv) return E_NOINTERFACE;
    AddRef();
    return S_OK;
  }
  STDMETHODIMP_(ULONG) AddRef() override { return ++refs_; }
  STDMETHODIMP_(ULONG) Release() override {
    const ULONG refs = --refs_;
    if (refs == 0) delete this;
    return refs;
  }
  STDMETHODIMP GetData(FORMATETC*, STGMEDIUM* medium) override {
    if (throws_) throw std::runtime_error("a data object that throws");
    const wchar_t list[] = L"C:\\data\\plan.doc\0";
    HGLOBAL memory = GlobalAlloc(GMEM_MOVEABLE | GMEM_ZEROINIT, sizeof(DROPFILES) + sizeof list);
    auto* drop = static_cast<DROPFILES*>(GlobalLock(memory));
    drop->pFiles = sizeof(DROPFILES);
    drop->fWide = TRUE;
    memcpy(drop + 1, list, sizeof list);
    GlobalUnlock(memory);
    medium->tymed = TYMED_HGLOBAL;
    medium->hGlobal = memory;
    medium->pUnkForRelease = nullptr;
    return S_OK;
  }
  STDMETHODIMP GetDataHere(FORMATETC*, STGMEDIUM*) override { return E_NOTIMPL; }
  STDMETHODIMP QueryGetData(FORMATETC*) override { return E_NOTIMPL; }
  STDMETHODIMP GetCanonicalFormatEtc(FORMATETC*, FORMATETC*) override { return E_NOTIMPL; }
  STDMETHODIMP SetData(FORMATETC*, STGMEDIUM*, BOOL) override { return E_NOTIMPL; }
  STDMETHODIMP EnumFormatEtc(DWORD, IEnumFORMATETC**) override { return E_NOTIMPL; }
  STDMETHODIMP DAdvise(FORMATETC*, DWORD, IAdviseSink*, DWORD*) override { return E_NOTIMPL; }
  STDMETHODIMP DUnadvise(DWORD) override { return E_NOTIMPL; }
  STDMETHODIMP EnumDAdvise(IEnumSTATDATA**) override { return E_NOTIMPL; }

 private:
  virtual ~Selection() = default;
  ULONG refs_ = 1;
  bool throws_;
};

template <typename T>
T* Create(REFCLSID clsid, REFIID iid) {
  IClassFactory* factory = nullptr;
  if (FAILED(DllGetClassObject(clsid, IID_IClassFactory, reinterpret_cast<void**>(&factory)))) return nullptr;
  T* object = nullptr;
  factory->CreateInstance(nullptr, iid, reinterpret_cast<void**>(&object));
  factory->Release();
  return object;
}

// A context-menu handler given the selection, its menu shown.
IContextMenu* ShownMenuHandler() {
  IContextMenu* handler = Create<IContextMenu>(kClsidShellExt, IID_IContextMenu);
  IShellExtInit* init = nullptr;
  handler->QueryInterface(IID_IShellExtInit, reinterpret_cast<void**>(&init));
  Selection* selection = new Selection(false);
  init->Initialize(nullptr, selection, nullptr);
  selection->Release();
  init->Release();
  HMENU menu = CreatePopupMenu();
  handler->QueryContextMenu(menu, 0, 1, 100, CMF_NORMAL);
  DestroyMenu(menu);
  return handler;
}

TEST(VorlinkGuards, EveryAllocationThatFailsInAnEntryPointGivesOutOfMemory) {
  // The objects are made before anything is made to fail; the calls below
  // may be repeated on them as the shell may repeat them.
  IClassFactory* factory = nullptr;
  ASSERT_EQ(DllGetClassObject(kClsidShellExt, IID_IClassFactory, reinterpret_cast<void**>(&factory)), S_OK);
  IShellExtInit* init = Create<IShellExtInit>(kClsidShellExt, IID_IShellExtInit);
  ASSERT_NE(init, nullptr);
  Selection* selection = new Selection(false);
  IContextMenu* handler = ShownMenuHandler();
  ASSERT_NE(handler, nullptr);
  IExtractIconW* icon = Create<IExtractIconW>(kClsidOrvfileShellIcon, IID_IExtractIconW);
  ASSERT_NE(icon, nullptr);
  IPersistFile* file = nullptr;
  ASSERT_EQ(icon->QueryInterface(IID_IPersistFile, reinterpret_cast<void**>(&file)), S_OK);
  file->Load(L"C:\\data\\report.doc.EDS", 0);
  file->Release();

  const struct {
    const char* what;
    std::function<HRESULT()> call;
  } calls[] = {
      {"DllGetClassObject",
       [] {
         IClassFactory* made = nullptr;
         const HRESULT hr = DllGetClassObject(kClsidShellExt, IID_IClassFactory, reinterpret_cast<void**>(&made));
         if (made) made->Release();
         return hr;
       }},
      {"IClassFactory::CreateInstance",
       [&] {
         IContextMenu* made = nullptr;
         const HRESULT hr = factory->CreateInstance(nullptr, IID_IContextMenu, reinterpret_cast<void**>(&made));
         if (made) made->Release();
         return hr;
       }},
      {"IShellExtInit::Initialize", [&] { return init->Initialize(nullptr, selection, nullptr); }},
      {"IContextMenu::QueryContextMenu",
       [&] {
         HMENU menu = CreatePopupMenu();
         const HRESULT hr = handler->QueryContextMenu(menu, 0, 1, 100, CMF_NORMAL);
         DestroyMenu(menu);
         return hr == MAKE_HRESULT(SEVERITY_SUCCESS, 0, 3) ? S_OK : hr;
       }},
      {"IContextMenu::InvokeCommand",
       [&] {
         CMINVOKECOMMANDINFO info = {};
         info.cbSize = sizeof info;
         info.lpVerb = MAKEINTRESOURCEA(0);  // "加密": reads the selection, writes the block
         return handler->InvokeCommand(&info);
       }},
      {"IExtractIconW::GetIconLocation",
       [&] {
         wchar_t location[MAX_PATH];
         int index = 0;
         UINT flags = 0;
         return icon->GetIconLocation(0, location, MAX_PATH, &index, &flags);
       }},
  };
  for (const auto& c : calls) {
    SCOPED_TRACE(c.what);
    bool completed = false;
    for (long n = 0; n < 10000 && !completed; ++n) {
      HRESULT hr;
      {
        FailingAllocation failing(n);
        hr = c.call();
        completed = !failed;
      }
      if (completed) {
        EXPECT_EQ(hr, S_OK) << "with every allocation granted";
      } else {
        EXPECT_EQ(hr, E_OUTOFMEMORY) << "allocation " << n << " failed";
      }
    }
    EXPECT_TRUE(completed);
  }
  icon->Release();
  handler->Release();
  selection->Release();
  init->Release();
  factory->Release();
  // No failure left an object (or a factory) alive: the DLL may go.
  EXPECT_TRUE(theModule.CanUnload());
}

TEST(VorlinkGuards, AnExceptionOfAnotherKindGivesFail) {
  IShellExtInit* init = Create<IShellExtInit>(kClsidShellExt, IID_IShellExtInit);
  ASSERT_NE(init, nullptr);
  Selection* selection = new Selection(true);
  EXPECT_EQ(init->Initialize(nullptr, selection, nullptr), E_FAIL);
  selection->Release();
  init->Release();
}

}  // namespace
}  // namespace vellumo
