// Vorlink64.dll as a COM server: its factories, aggregation, when it may be
// unloaded, and the overlay and icon handler.
#include <gtest/gtest.h>
#include <windows.h>
#include <olectl.h>
#include <shlobj.h>

#include <functional>
#include <string>
#include <vector>

#include "vorlink_host_win32.h"

namespace vellumo::testing {
namespace {

const CLSID kShellExt = {0x0E32FA5F, 0x9183, 0x4870, {0x8B, 0x12, 0x0A, 0xB6, 0x3F, 0x4A, 0xD2, 0x95}};
const CLSID kShellIcon = {0x2821B958, 0xD569, 0x4E37, {0xAC, 0xA6, 0xFD, 0x4C, 0x22, 0x83, 0xDB, 0xE5}};
const IID kIOrvfileShellIcon = {0x972B2FD8, 0x183E, 0x4192, {0x8E, 0x75, 0xEE, 0xAD, 0x7A, 0x7D, 0x6E, 0x0D}};

IClassFactory* Factory(REFCLSID clsid) {
  IClassFactory* factory = nullptr;
  EXPECT_EQ(Vorlink().getClassObject(clsid, IID_IClassFactory, reinterpret_cast<void**>(&factory)), S_OK);
  return factory;
}

TEST(VorlinkServer, ContextMenuFactoryIsNewPerRequestIconFactoryIsCached) {
  IClassFactory* a = Factory(kShellExt);
  IClassFactory* b = Factory(kShellExt);
  ASSERT_TRUE(a && b);
  EXPECT_NE(a, b);
  IClassFactory* c = Factory(kShellIcon);
  IClassFactory* d = Factory(kShellIcon);
  ASSERT_TRUE(c && d);
  EXPECT_EQ(c, d);
  for (IClassFactory* f : {a, b, c, d}) f->Release();
}

TEST(VorlinkServer, RefusedRequestsYieldNull) {
  const CLSID other = {0x12345678, 0x1234, 0x1234, {1, 2, 3, 4, 5, 6, 7, 8}};
  struct Case {
    const CLSID* clsid;
    const IID* iid;
    HRESULT expected;
  } cases[] = {
      {&other, &IID_IClassFactory, CLASS_E_CLASSNOTAVAILABLE},
      {&kShellExt, &IID_IDispatch, E_NOINTERFACE},
      {&kShellIcon, &IID_IDispatch, E_NOINTERFACE},
  };
  for (const Case& c : cases) {
    void* object = reinterpret_cast<void*>(1);
    EXPECT_EQ(Vorlink().getClassObject(*c.clsid, *c.iid, &object), c.expected);
    EXPECT_EQ(object, nullptr);
  }
  // Nor does a factory make an object for an interface it lacks.
  for (const CLSID* clsid : {&kShellExt, &kShellIcon}) {
    IClassFactory* factory = Factory(*clsid);
    ASSERT_TRUE(factory);
    void* object = reinterpret_cast<void*>(1);
    EXPECT_EQ(factory->CreateInstance(nullptr, IID_IClassFactory, &object), E_NOINTERFACE);
    EXPECT_EQ(object, nullptr);
    factory->Release();
  }
  // The refused factories and objects were not left behind.
  EXPECT_EQ(Vorlink().canUnloadNow(), S_OK);
}

// Counts the calls an aggregated object forwards to its outer object.
class Outer : public IUnknown {
 public:
  STDMETHODIMP QueryInterface(REFIID, void** ppv) override {
    *ppv = nullptr;
    return E_NOINTERFACE;
  }
  STDMETHODIMP_(ULONG) AddRef() override { return ++refs; }
  STDMETHODIMP_(ULONG) Release() override { return --refs; }
  ULONG refs = 1;
};

TEST(VorlinkServer, ContextMenuRefusesAggregationIconHandlerSupportsIt) {
  Outer outer;
  IClassFactory* menuFactory = Factory(kShellExt);
  ASSERT_TRUE(menuFactory);
  void* object = reinterpret_cast<void*>(1);
  EXPECT_EQ(menuFactory->CreateInstance(&outer, IID_IUnknown, &object), CLASS_E_NOAGGREGATION);
  EXPECT_EQ(object, nullptr);
  menuFactory->Release();

  IClassFactory* iconFactory = Factory(kShellIcon);
  ASSERT_TRUE(iconFactory);
  // Aggregated, only the inner IUnknown may be asked for.
  EXPECT_EQ(iconFactory->CreateInstance(&outer, IID_IShellIconOverlayIdentifier, &object),
            CLASS_E_NOAGGREGATION);
  IUnknown* inner = nullptr;
  ASSERT_EQ(iconFactory->CreateInstance(&outer, IID_IUnknown, reinterpret_cast<void**>(&inner)), S_OK);
  iconFactory->Release();
  IShellIconOverlayIdentifier* overlay = nullptr;
  ASSERT_EQ(inner->QueryInterface(IID_IShellIconOverlayIdentifier, reinterpret_cast<void**>(&overlay)), S_OK);
  EXPECT_EQ(outer.refs, 2u);  // the face's reference went to the outer object
  IUnknown* viaFace = nullptr;
  EXPECT_EQ(overlay->QueryInterface(IID_IUnknown, reinterpret_cast<void**>(&viaFace)), E_NOINTERFACE);
  overlay->Release();
  EXPECT_EQ(outer.refs, 1u);
  EXPECT_EQ(Vorlink().canUnloadNow(), S_FALSE);
  inner->Release();
  EXPECT_EQ(Vorlink().canUnloadNow(), S_OK);
}

TEST(VorlinkServer, CannotUnloadWhileAnythingItServesIsAlive) {
  struct Holder {
    const char* what;
    std::function<IUnknown*()> make;
  } holders[] = {
      {"context-menu object", [] { return CreateVorlinkObject<IUnknown>(kShellExt, IID_IContextMenu); }},
      {"context-menu factory", [] { return static_cast<IUnknown*>(Factory(kShellExt)); }},
      {"icon object", [] { return CreateVorlinkObject<IUnknown>(kShellIcon, IID_IExtractIconW); }},
  };
  ASSERT_EQ(Vorlink().canUnloadNow(), S_OK);
  for (const Holder& h : holders) {
    IUnknown* object = h.make();
    ASSERT_NE(object, nullptr) << h.what;
    EXPECT_EQ(Vorlink().canUnloadNow(), S_FALSE) << h.what;
    object->Release();
    EXPECT_EQ(Vorlink().canUnloadNow(), S_OK) << h.what;
  }
  // The icon factory keeps the module only through server locks.
  IClassFactory* iconFactory = Factory(kShellIcon);
  EXPECT_EQ(Vorlink().canUnloadNow(), S_OK);
  iconFactory->LockServer(TRUE);
  EXPECT_EQ(Vorlink().canUnloadNow(), S_FALSE);
  iconFactory->LockServer(FALSE);
  EXPECT_EQ(Vorlink().canUnloadNow(), S_OK);
  iconFactory->Release();
}

TEST(VorlinkIcon, AnswersItsInterfacesOnly) {
  IUnknown* icon = CreateVorlinkObject<IUnknown>(kShellIcon, IID_IUnknown);
  ASSERT_TRUE(icon);
  const IID* answered[] = {&IID_IUnknown, &kIOrvfileShellIcon, &IID_IDispatch, &IID_IPersistFile,
                           &IID_IExtractIconW, &IID_IShellIconOverlayIdentifier};
  for (const IID* iid : answered) {
    IUnknown* face = nullptr;
    EXPECT_EQ(icon->QueryInterface(*iid, reinterpret_cast<void**>(&face)), S_OK);
    if (face) face->Release();
  }
  const IID* refused[] = {&IID_IContextMenu, &IID_IShellExtInit, &IID_IExtractIconA, &IID_IClassFactory};
  for (const IID* iid : refused) {
    IUnknown* face = reinterpret_cast<IUnknown*>(1);
    EXPECT_EQ(icon->QueryInterface(*iid, reinterpret_cast<void**>(&face)), E_NOINTERFACE);
    EXPECT_EQ(face, nullptr);
  }
  icon->Release();
}

TEST(VorlinkIcon, MembersAreNamesEndingInEdsInAnyCase) {
  auto* overlay = CreateVorlinkObject<IShellIconOverlayIdentifier>(kShellIcon, IID_IShellIconOverlayIdentifier);
  ASSERT_TRUE(overlay);
  struct Case {
    const wchar_t* path;
    DWORD attributes;
    HRESULT expected;
  } cases[] = {
      {L"C:\\docs\\report.doc.EDS", 0, S_OK},
      {L"C:\\docs\\report.eds", 0, S_OK},
      {L"C:\\docs\\report.eDs", 0, S_OK},
      {L"C:\\docs\\folder.EDS", FILE_ATTRIBUTE_DIRECTORY, S_OK},
      {L".EDS", 0, S_OK},
      {L"C:\\docs\\report.EDS.bak", 0, S_FALSE},
      {L"C:\\docs\\reportEDS", 0, S_FALSE},
      {L"EDS", 0, S_FALSE},
      {L"", 0, S_FALSE},
  };
  for (const Case& c : cases) EXPECT_EQ(overlay->IsMemberOf(c.path, c.attributes), c.expected) << c.path;

  wchar_t file[MAX_PATH];
  int index = -1;
  DWORD flags = 0;
  EXPECT_EQ(overlay->GetOverlayInfo(file, MAX_PATH, &index, &flags), S_OK);
  EXPECT_EQ(std::wstring(file), Vorlink().dllPath);
  EXPECT_EQ(index, 2);
  EXPECT_EQ(flags, static_cast<DWORD>(ISIOI_ICONFILE | ISIOI_ICONINDEX));
  int priority = -1;
  EXPECT_EQ(overlay->GetPriority(&priority), S_OK);
  EXPECT_EQ(priority, 0);
  overlay->Release();
}

BOOL CALLBACK CollectIconGroup(HMODULE, LPCWSTR, LPWSTR name, LONG_PTR list) {
  if (IS_INTRESOURCE(name))
    reinterpret_cast<std::vector<int>*>(list)->push_back(static_cast<int>(reinterpret_cast<UINT_PTR>(name)));
  return TRUE;
}

// The handler names icons by position: 1 is the document icon, 2 the overlay.
// The program's icon for the menu comes after them, so it moves none.
TEST(VorlinkIcon, ModuleCarriesIconGroups154To156InOrderThenTheProgramIcon) {
  std::vector<int> groups;
  EnumResourceNamesW(Vorlink().module, RT_GROUP_ICON, CollectIconGroup, reinterpret_cast<LONG_PTR>(&groups));
  EXPECT_EQ(groups, (std::vector<int>{154, 155, 156, 158}));
}

// Registry fixtures for the types the handler looks up, removed again at the
// end: under HKEY_CURRENT_USER\Software\Classes where the classes root shows
// them (Windows), else in the classes root itself (Wine does not merge them).
class IconLocation : public ::testing::Test {
 protected:
  static void SetUpTestSuite() {
    const std::wstring longType(40, L'L');
    const std::wstring longestType(39, L'M');
    const struct {
      std::wstring key;
      std::wstring value;
    } fixtures[] = {
        {L".vltdoc", L"VellumoTest.Doc"},
        {L"VellumoTest.Doc\\DefaultIcon", L"C:\\Program Files\\Writer\\writer.exe,1"},
        {L".vltneg", L"VellumoTest.Neg"},
        {L"VellumoTest.Neg\\DefaultIcon", L"C:\\tools\\app.exe,-101"},
        {L".vltico", L"VellumoTest.Ico"},
        {L"VellumoTest.Ico\\DefaultIcon", L"C:\\icons\\doc.ico"},
        {L".vltbare", L"VellumoTest.Bare"},
        {L"VellumoTest.Bare", L"no default icon"},
        {L".vltlong", longType},
        {longType + L"\\DefaultIcon", L"C:\\long.exe,3"},
        {L".vltmax", longestType},
        {longestType + L"\\DefaultIcon", L"C:\\max.exe,4"},
    };
    for (int attempt = 0; attempt < 2; ++attempt) {
      for (const auto& f : fixtures) {
        HKEY key;
        ASSERT_EQ(RegCreateKeyExW(root_, (prefix_ + f.key).c_str(), 0, nullptr, 0, KEY_WRITE, nullptr, &key, nullptr),
                  ERROR_SUCCESS);
        RegSetValueExW(key, nullptr, 0, REG_SZ, reinterpret_cast<const BYTE*>(f.value.c_str()),
                       static_cast<DWORD>((f.value.size() + 1) * sizeof(wchar_t)));
        RegCloseKey(key);
        created_.push_back(f.key.substr(0, f.key.find(L'\\')));
      }
      HKEY seen;
      if (RegOpenKeyExW(HKEY_CLASSES_ROOT, L".vltdoc", 0, KEY_READ, &seen) == ERROR_SUCCESS) {
        RegCloseKey(seen);
        return;
      }
      TearDownTestSuite();
      root_ = HKEY_CLASSES_ROOT;
      prefix_.clear();
    }
  }
  static void TearDownTestSuite() {
    for (const std::wstring& key : created_) RegDeleteTreeW(root_, (prefix_ + key).c_str());
    created_.clear();
  }

  static inline HKEY root_ = HKEY_CURRENT_USER;
  static inline std::wstring prefix_ = L"Software\\Classes\\";
  static inline std::vector<std::wstring> created_;
};

TEST_F(IconLocation, InnerTypesIconOrTheModulesDocumentIcon) {
  const std::wstring dll = Vorlink().dllPath;
  struct Case {
    const wchar_t* name;
    std::wstring file;
    int index;
  } cases[] = {
      {L"C:\\docs\\report.vltdoc.EDS", L"C:\\Program Files\\Writer\\writer.exe", 1},
      {L"C:\\docs\\report.vltneg.EDS", L"C:\\tools\\app.exe", -101},
      {L"C:\\docs\\report.vltico.eds", L"C:\\icons\\doc.ico", 0},
      {L"C:\\docs\\report.vltmax.EDS", L"C:\\max.exe", 4},  // a 39-character type name
      {L"C:\\docs\\report.EDS", dll, 1},                      // no inner extension
      {L"C:\\docs\\report.vltnone.EDS", dll, 1},              // type not registered
      {L"C:\\docs\\report.vltbare.EDS", dll, 1},              // type without a default icon
      {L"C:\\docs\\report.vltlong.EDS", dll, 1},              // a 40-character type name
      {L"C:\\docs.vltdoc\\report.EDS", dll, 1},               // the dot belongs to a folder
      {L"", dll, 1},
  };
  for (const Case& c : cases) {
    auto* persist = CreateVorlinkObject<IPersistFile>(kShellIcon, IID_IPersistFile);
    ASSERT_TRUE(persist);
    EXPECT_EQ(persist->Load(c.name, STGM_READ), S_OK);
    IExtractIconW* extract = nullptr;
    ASSERT_EQ(persist->QueryInterface(IID_IExtractIconW, reinterpret_cast<void**>(&extract)), S_OK);
    wchar_t file[MAX_PATH];
    int index = 99;
    UINT flags = 99;
    EXPECT_EQ(extract->GetIconLocation(0, file, MAX_PATH, &index, &flags), S_OK);
    EXPECT_EQ(std::wstring(file), c.file) << c.name;
    EXPECT_EQ(index, c.index) << c.name;
    EXPECT_EQ(flags, 0u);
    HICON large = nullptr, small = nullptr;
    EXPECT_EQ(extract->Extract(file, index, &large, &small, MAKELONG(32, 16)), S_FALSE);
    extract->Release();
    persist->Release();
  }
}

// Neither the inner type's location nor the fallback is written past the
// caller's buffer, and both are terminated.
TEST_F(IconLocation, StaysWithinTheCallersBuffer) {
  const struct {
    const wchar_t* name;
    std::wstring location;
  } cases[] = {
      {L"C:\\docs\\report.vltdoc.EDS", L"C:\\Program Files\\Writer\\writer.exe"},
      {L"C:\\docs\\report.EDS", Vorlink().dllPath},
  };
  for (const auto& c : cases) {
    auto* persist = CreateVorlinkObject<IPersistFile>(kShellIcon, IID_IPersistFile);
    ASSERT_TRUE(persist);
    persist->Load(c.name, STGM_READ);
    IExtractIconW* extract = nullptr;
    ASSERT_EQ(persist->QueryInterface(IID_IExtractIconW, reinterpret_cast<void**>(&extract)), S_OK);
    wchar_t buffer[16];
    std::fill(std::begin(buffer), std::end(buffer), L'#');
    int index = 0;
    UINT flags = 0;
    EXPECT_EQ(extract->GetIconLocation(0, buffer, 8, &index, &flags), S_OK);
    EXPECT_EQ(std::wstring(buffer), c.location.substr(0, 7)) << c.name;
    for (int i = 8; i < 16; ++i) EXPECT_EQ(buffer[i], L'#') << c.name;
    extract->Release();
    persist->Release();
  }
}

TEST(VorlinkIcon, DispatchWithoutATypeLibrary) {
  auto* dispatch = CreateVorlinkObject<IDispatch>(kShellIcon, IID_IDispatch);
  ASSERT_TRUE(dispatch);
  UINT count = 0;
  EXPECT_EQ(dispatch->GetTypeInfoCount(&count), S_OK);
  EXPECT_EQ(count, 1u);
  EXPECT_EQ(dispatch->GetTypeInfoCount(nullptr), E_POINTER);
  ITypeInfo* info = reinterpret_cast<ITypeInfo*>(1);
  EXPECT_EQ(dispatch->GetTypeInfo(1, 0, &info), DISP_E_BADINDEX);
  EXPECT_EQ(dispatch->GetTypeInfo(0, 0, nullptr), E_POINTER);
  // No library is registered, so the type information can't be had.
  info = reinterpret_cast<ITypeInfo*>(1);
  EXPECT_TRUE(FAILED(dispatch->GetTypeInfo(0, 0, &info)));
  EXPECT_EQ(info, nullptr);
  LPOLESTR name = const_cast<LPOLESTR>(L"Anything");
  DISPID id = 0;
  EXPECT_TRUE(FAILED(dispatch->GetIDsOfNames(IID_NULL, &name, 1, 0, &id)));
  dispatch->Release();
}

TEST(VorlinkIcon, PersistFileDoesOnlyLoad) {
  auto* persist = CreateVorlinkObject<IPersistFile>(kShellIcon, IID_IPersistFile);
  ASSERT_TRUE(persist);
  CLSID clsid;
  LPOLESTR current = nullptr;
  EXPECT_EQ(persist->GetClassID(&clsid), E_NOTIMPL);
  EXPECT_EQ(persist->IsDirty(), E_NOTIMPL);
  EXPECT_EQ(persist->Save(L"C:\\x", TRUE), E_NOTIMPL);
  EXPECT_EQ(persist->SaveCompleted(L"C:\\x"), E_NOTIMPL);
  EXPECT_EQ(persist->GetCurFile(&current), E_NOTIMPL);
  persist->Release();
}

}  // namespace
}  // namespace vellumo::testing
