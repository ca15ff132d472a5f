// The context-menu handler of Vorlink64.dll on real menus: the selection it
// takes, the submenu it adds, the program it starts (a recording stand-in
// for Vellumo.exe in a folder whose path has spaces) and the block it writes.
#include <gtest/gtest.h>
#include <windows.h>
#include <shlobj.h>

#include <initializer_list>
#include <optional>
#include <string>
#include <vector>

#include "handoff/handoff_layout.h"
#include "vorlink_host_win32.h"

namespace vellumo::testing {
namespace {

const CLSID kShellExt = {0x0E32FA5F, 0x9183, 0x4870, {0x8B, 0x12, 0x0A, 0xB6, 0x3F, 0x4A, 0xD2, 0x95}};
constexpr UINT kFirstId = 100;

using Paths = std::vector<std::wstring>;

const Paths kSelection = {
    L"C:\\Users\\\u7528\u6237\\My Documents\\\u62a5\u544a.doc",
    L"C:\\Data\\photos",
    // Longer than the shell's classic 260 characters: taken whole, not cut
    // to a name of some other file.
    L"C:\\Deep\\" + std::wstring(300, L'd') + L"\\notes.txt",
};

// A context-menu object initialised with a drop list of `paths`. Wine's
// DragQueryFileW counts an empty drop list as one empty entry, so an empty
// selection is an object that was never given one.
IContextMenu* NewMenuHandler(const Paths& paths) {
  auto* menu = CreateVorlinkObject<IContextMenu>(kShellExt, IID_IContextMenu);
  if (!menu || paths.empty()) return menu;
  IShellExtInit* init = nullptr;
  menu->QueryInterface(IID_IShellExtInit, reinterpret_cast<void**>(&init));
  IDataObject* data = NewDropList(paths);
  HRESULT hr = init->Initialize(nullptr, data, nullptr);
  data->Release();
  init->Release();
  if (hr != S_OK) {
    menu->Release();
    return nullptr;
  }
  return menu;
}

std::wstring ItemText(HMENU menu, UINT position) {
  wchar_t text[64] = {};
  GetMenuStringW(menu, position, text, 64, MF_BYPOSITION);
  return text;
}

// The entries of the shared block, or nothing when there is no block.
std::optional<Paths> ReadBlock() {
  HANDLE mapping = OpenFileMappingW(FILE_MAP_ALL_ACCESS, FALSE, kHandoffName);
  if (!mapping) return std::nullopt;
  void* view = MapViewOfFile(mapping, FILE_MAP_ALL_ACCESS, 0, 0, 0);
  Paths paths = DecodeHandoffBlock(static_cast<const uint16_t*>(view), kHandoffBlockSize / 2);
  UnmapViewOfFile(view);
  CloseHandle(mapping);
  return paths;
}

// Marks an existing block so that a command which writes none shows.
void StampBlock() {
  HANDLE mapping = OpenFileMappingW(FILE_MAP_ALL_ACCESS, FALSE, kHandoffName);
  if (!mapping) return;
  void* view = MapViewOfFile(mapping, FILE_MAP_ALL_ACCESS, 0, 0, 0);
  memcpy(view, L"untouched|", 11 * sizeof(wchar_t));
  UnmapViewOfFile(view);
  CloseHandle(mapping);
}

HRESULT Invoke(IContextMenu* menu, LPCSTR verb) {
  CMINVOKECOMMANDINFO info = {};
  info.cbSize = sizeof info;
  info.lpVerb = verb;
  info.nShow = SW_SHOWNORMAL;
  return menu->InvokeCommand(&info);
}

TEST(VorlinkMenu, InitializeNeedsADropList) {
  auto* menu = CreateVorlinkObject<IContextMenu>(kShellExt, IID_IContextMenu);
  ASSERT_TRUE(menu);
  IShellExtInit* init = nullptr;
  ASSERT_EQ(menu->QueryInterface(IID_IShellExtInit, reinterpret_cast<void**>(&init)), S_OK);
  EXPECT_EQ(init->Initialize(nullptr, nullptr, nullptr), E_FAIL);
  IDataObject* noDropList = NewDropList({}, false);
  EXPECT_EQ(init->Initialize(nullptr, noDropList, nullptr), E_FAIL);
  noDropList->Release();
  IDataObject* empty = NewDropList({});
  EXPECT_EQ(init->Initialize(nullptr, empty, nullptr), S_OK);
  empty->Release();
  init->Release();
  menu->Release();
  EXPECT_EQ(Vorlink().canUnloadNow(), S_OK);  // the data objects were let go
}

// The menu speaks the user's language: Chinese on a Chinese Windows (this
// suite runs so, and once more under an English one).
bool EnglishUi() { return PRIMARYLANGID(GetUserDefaultUILanguage()) != LANG_CHINESE; }

TEST(VorlinkMenu, RunsInTheLanguageItWasStartedFor) {
  // The English run sets this (cmake/wine-run.in); without it Wine is Chinese.
  wchar_t locale[64] = {};
  const bool english = GetEnvironmentVariableW(L"VELLUMO_WINE_LOCALE", locale, 64) > 0;
  EXPECT_EQ(EnglishUi(), english);
  EXPECT_EQ(GetACP(), english ? 1252u : 936u);
}

struct CommandTexts {
  const wchar_t* caption;
  const wchar_t* help;
};
CommandTexts Texts(int command) {
  static const CommandTexts chinese[] = {
      {L"加密", L"用所选密钥加密选中的文件和文件夹"}, {L"解密", L"解密选中的文件和文件夹"},
      {L"剪贴板加密", L"加密剪贴板中的文字"},         {L"剪贴板解密", L"解密剪贴板中的文字"},
      {L"参数设置", L"管理密钥和设置"},
  };
  static const CommandTexts english[] = {
      {L"Encrypt", L"Encrypts the selected files and folders with a key you choose"},
      {L"Decrypt", L"Decrypts the selected files and folders"},
      {L"Encrypt clipboard", L"Encrypts the text on the clipboard"},
      {L"Decrypt clipboard", L"Decrypts the text on the clipboard"},
      {L"Settings", L"Manages your keys and settings"},
  };
  return (EnglishUi() ? english : chinese)[command];
}
enum Command { kEncrypt, kDecrypt, kClipEncrypt, kClipDecrypt, kSettings };

std::vector<std::wstring> Captions(std::initializer_list<Command> commands) {
  std::vector<std::wstring> captions;
  for (Command c : commands) captions.push_back(Texts(c).caption);
  return captions;
}

// The submenu item's picture: the program's icon as a small-icon sized
// 32-bit bitmap whose alpha leaves its corners clear and covers its middle.
void ExpectProgramIcon(HBITMAP bitmap) {
  ASSERT_NE(bitmap, nullptr);
  DIBSECTION dib = {};
  ASSERT_EQ(GetObjectW(bitmap, sizeof dib, &dib), static_cast<int>(sizeof dib)) << "not a DIB section";
  const int size = GetSystemMetrics(SM_CXSMICON);
  EXPECT_EQ(dib.dsBm.bmWidth, size);
  EXPECT_EQ(dib.dsBm.bmHeight, size);
  ASSERT_EQ(dib.dsBm.bmBitsPixel, 32);
  const auto* pixels = static_cast<const uint32_t*>(dib.dsBm.bmBits);
  ASSERT_NE(pixels, nullptr);
  int opaque = 0;
  for (int i = 0; i < size * size; ++i) opaque += (pixels[i] >> 24) != 0;
  EXPECT_GT(opaque, size * size / 4) << "hardly anything of the icon was drawn";
}

TEST(VorlinkMenu, SubmenuFollowsSelectionClipboardAndFlags) {
  const std::vector<std::wstring> all = Captions({kEncrypt, kDecrypt, kClipEncrypt, kClipDecrypt, kSettings});
  const std::vector<std::wstring> files = Captions({kEncrypt, kDecrypt, kSettings});
  const std::vector<std::wstring> clipboard = Captions({kClipEncrypt, kClipDecrypt, kSettings});
  const std::vector<std::wstring> none;
  struct Case {
    const char* what;
    Paths paths;
    bool clipboardText;
    UINT flags;
    std::vector<std::wstring> items;
  } cases[] = {
      {"files and text", kSelection, true, CMF_NORMAL, all},
      {"files, empty clipboard", kSelection, false, CMF_NORMAL, files},
      {"no files, text", {}, true, CMF_NORMAL, clipboard},
      {"no files, no text", {}, false, CMF_NORMAL, none},
      {"explore", kSelection, false, CMF_EXPLORE, files},
      {"high flags ignored", kSelection, false, CMF_NORMAL | CMF_EXTENDEDVERBS, files},
      {"verbs only", kSelection, true, CMF_VERBSONLY, none},
      {"explore, verbs only", kSelection, true, CMF_EXPLORE | CMF_VERBSONLY, none},
      {"default only", kSelection, true, CMF_DEFAULTONLY, none},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    SetClipboardHasText(c.clipboardText);
    ComRef<IContextMenu> handler(NewMenuHandler(c.paths));
    ASSERT_TRUE(handler);
    HMENU menu = CreatePopupMenu();
    AppendMenuW(menu, MF_STRING, 1, L"Open");
    AppendMenuW(menu, MF_STRING, 2, L"Properties");
    HRESULT hr = handler->QueryContextMenu(menu, 1, kFirstId, kFirstId + 50, c.flags);
    EXPECT_EQ(hr, MAKE_HRESULT(SEVERITY_SUCCESS, 0, c.items.size()));
    if (c.items.empty()) {
      EXPECT_EQ(GetMenuItemCount(menu), 2);
    } else {
      ASSERT_EQ(GetMenuItemCount(menu), 3);
      EXPECT_EQ(ItemText(menu, 0), L"Open");
      EXPECT_EQ(ItemText(menu, 1), L"Quennel");
      EXPECT_EQ(ItemText(menu, 2), L"Properties");
      MENUITEMINFOW info = {};
      info.cbSize = sizeof info;
      info.fMask = MIIM_SUBMENU | MIIM_BITMAP;
      ASSERT_TRUE(GetMenuItemInfoW(menu, 1, TRUE, &info));
      ExpectProgramIcon(info.hbmpItem);
      ASSERT_NE(info.hSubMenu, nullptr);
      ASSERT_EQ(GetMenuItemCount(info.hSubMenu), static_cast<int>(c.items.size()));
      for (UINT i = 0; i < c.items.size(); ++i) {
        EXPECT_EQ(ItemText(info.hSubMenu, i), c.items[i]);
        EXPECT_EQ(GetMenuItemID(info.hSubMenu, i), kFirstId + i);
      }
    }
    DestroyMenu(menu);
  }
  SetClipboardHasText(false);
}

TEST(VorlinkMenu, CommandsStartTheProgramBesideTheModule) {
  struct Case {
    const char* what;
    bool clipboardText;       // when the menu is shown
    bool clipboardAtClick;    // when the command runs
    Paths paths;
    UINT offset;
    const wchar_t* option;
    bool writesBlock;
  } cases[] = {
      {"all: encrypt", true, true, kSelection, 0, L"-enstart", true},
      {"all: decrypt", true, true, kSelection, 1, L"-destart", true},
      {"all: clipboard encrypt", true, true, kSelection, 2, L"-enslipstart", false},
      {"all: clipboard decrypt", true, true, kSelection, 3, L"-deslipstart", false},
      {"all: settings", true, true, kSelection, 4, L"-sysset", false},
      {"files: encrypt", false, false, kSelection, 0, L"-enstart", true},
      {"files: decrypt", false, false, {L"C:\\a.txt"}, 1, L"-destart", true},
      {"files: settings", false, false, kSelection, 2, L"-sysset", false},
      {"files: unknown offset", false, false, kSelection, 7, L"-enstart", true},
      {"text: clipboard encrypt", true, true, {}, 0, L"-enslipstart", false},
      {"text: clipboard decrypt", true, true, {}, 1, L"-deslipstart", false},
      {"text: settings", true, true, {}, 2, L"-sysset", false},
      // The menu that was shown decides, not the clipboard at the click.
      {"clipboard emptied after showing", true, false, kSelection, 2, L"-enslipstart", false},
      {"text put on after showing", false, true, kSelection, 2, L"-sysset", false},
  };
  const std::wstring program = Vorlink().folder + L"Vellumo.exe";
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    SetClipboardHasText(c.clipboardText);
    ComRef<IContextMenu> handler(NewMenuHandler(c.paths));
    ASSERT_TRUE(handler);
    HMENU menu = CreatePopupMenu();
    ASSERT_TRUE(SUCCEEDED(handler->QueryContextMenu(menu, 0, kFirstId, kFirstId + 50, CMF_NORMAL)));
    SetClipboardHasText(c.clipboardAtClick);
    StampBlock();
    ClearStartRecords();
    EXPECT_EQ(Invoke(handler.get(), MAKEINTRESOURCEA(c.offset)), S_OK);
    std::vector<StartRecord> started = WaitForStartRecords(1);
    ASSERT_EQ(started.size(), 1u);
    EXPECT_EQ(started[0].program, program);
    EXPECT_EQ(started[0].commandLine, L"\"" + program + L"\" " + c.option);
    std::optional<Paths> block = ReadBlock();
    if (c.writesBlock) {
      ASSERT_TRUE(block);
      EXPECT_EQ(*block, c.paths);
    } else if (block) {
      EXPECT_EQ(*block, Paths{L"untouched"});
    }
    DestroyMenu(menu);
  }
  SetClipboardHasText(false);
  // Nothing ever ran from the unquoted path's first word.
  for (const StartRecord& r : StartRecords()) EXPECT_NE(r.program, Vorlink().decoyPath);
}

// Runs "加密" on a handler given `data` and returns the block it wrote.
std::optional<Paths> EncryptCommandBlock(IDataObject* data) {
  SetClipboardHasText(false);
  ComRef<IContextMenu> handler(CreateVorlinkObject<IContextMenu>(kShellExt, IID_IContextMenu));
  if (!handler) return std::nullopt;
  IShellExtInit* init = nullptr;
  handler->QueryInterface(IID_IShellExtInit, reinterpret_cast<void**>(&init));
  const HRESULT initialized = init->Initialize(nullptr, data, nullptr);
  init->Release();
  if (initialized != S_OK) return std::nullopt;
  HMENU menu = CreatePopupMenu();
  const HRESULT shown = handler->QueryContextMenu(menu, 0, kFirstId, kFirstId + 50, CMF_NORMAL);
  DestroyMenu(menu);
  if (shown != MAKE_HRESULT(SEVERITY_SUCCESS, 0, 3)) return Paths{};  // no file commands: no selection
  StampBlock();
  ClearStartRecords();
  if (Invoke(handler.get(), MAKEINTRESOURCEA(0)) != S_OK || WaitForStartRecords(1).size() != 1) return std::nullopt;
  return ReadBlock();
}

// The paths are read from the selection when a command hands them over, in
// one pass and no further than the block holds: not by Initialize, which
// Explorer waits for on every right-click, however large the selection.
TEST(VorlinkMenu, TheSelectionIsReadWhenACommandHandsItOver) {
  SetClipboardHasText(false);
  ComRef<IContextMenu> handler(CreateVorlinkObject<IContextMenu>(kShellExt, IID_IContextMenu));
  ASSERT_TRUE(handler);
  IShellExtInit* init = nullptr;
  ASSERT_EQ(handler->QueryInterface(IID_IShellExtInit, reinterpret_cast<void**>(&init)), S_OK);
  IDataObject* data = NewDropList({L"C:\\first.txt"});
  ASSERT_EQ(init->Initialize(nullptr, data, nullptr), S_OK);
  init->Release();
  // The selection as it stands at the click: tens of thousands of long paths.
  Paths many;
  for (int i = 0; i < 20000; ++i) many.push_back(L"C:\\Photos\\" + std::wstring(240, L'p') + std::to_wstring(i) + L".jpg");
  SetDropListPaths(data, many);
  data->Release();

  HMENU menu = CreatePopupMenu();
  ASSERT_EQ(handler->QueryContextMenu(menu, 0, kFirstId, kFirstId + 50, CMF_NORMAL), MAKE_HRESULT(SEVERITY_SUCCESS, 0, 3));
  DestroyMenu(menu);
  ClearStartRecords();
  EXPECT_EQ(Invoke(handler.get(), MAKEINTRESOURCEA(0)), S_OK);
  EXPECT_EQ(WaitForStartRecords(1).size(), 1u);
  const std::vector<uint16_t> expected = EncodeHandoffBlock(many);
  const std::optional<Paths> block = ReadBlock();
  ASSERT_TRUE(block);
  EXPECT_EQ(*block, DecodeHandoffBlock(expected.data(), expected.size()));
  EXPECT_LT(block->size(), many.size());
}

// Drop lists of other programs: in the ANSI code page, unaligned, or damaged.
// Each gives the paths it soundly holds, and a damaged one nothing beyond.
TEST(VorlinkMenu, DropListsAreReadAsFarAsTheyAreSound) {
  // A name the ANSI code page can hold: Chinese on a Chinese Windows, Latin-1 elsewhere.
  const Paths two = {GetACP() == 936 ? L"C:\\\u62a5\u544a.doc" : L"C:\\Bericht \u00e4.doc", L"D:\\x"};
  std::vector<uint8_t> unaligned = DropListBytes(two);
  unaligned.insert(unaligned.begin() + sizeof(DROPFILES), 1, 0xEE);
  reinterpret_cast<DROPFILES*>(unaligned.data())->pFiles = sizeof(DROPFILES) + 1;
  std::vector<uint8_t> unterminated = DropListBytes(two);
  unterminated.resize(unterminated.size() - 3 * sizeof(wchar_t));  // "D:\" without the rest and its ends
  std::vector<uint8_t> outside = DropListBytes(two);
  reinterpret_cast<DROPFILES*>(outside.data())->pFiles = 100000;
  const std::vector<uint8_t> headerOnly(outside.begin(), outside.begin() + 10);
  const struct {
    const char* what;
    std::vector<uint8_t> bytes;
    Paths paths;
  } cases[] = {
      {"UTF-16", DropListBytes(two), two},
      {"the ANSI code page", DropListBytes(two, false), two},
      {"unaligned", unaligned, two},
      {"the last entry cut short", unterminated, {two[0]}},
      {"a list that points outside its memory", outside, {}},
      {"less than a header", headerOnly, {}},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.what);
    IDataObject* data = NewRawDropList(c.bytes);
    const std::optional<Paths> block = EncryptCommandBlock(data);
    data->Release();
    ASSERT_TRUE(block);
    EXPECT_EQ(*block, c.paths);
  }
}

#ifdef _WIN64
// Memory at an address whose bits 16 to 31 are clear, as a 64-bit process
// may hand out for a verb string.
char* VerbAtHighAddress() {
  for (UINT_PTR base = 0x100000000ull; base < 0x4000000000ull; base += 0x100000000ull) {
    void* p = VirtualAlloc(reinterpret_cast<void*>(base), 4096, MEM_RESERVE | MEM_COMMIT, PAGE_READWRITE);
    if (p) return static_cast<char*>(p);
  }
  return nullptr;
}
#endif

TEST(VorlinkMenu, VerbStringsAndEmptyMenusStartNothing) {
  SetClipboardHasText(false);
  IContextMenu* handler = NewMenuHandler(kSelection);
  ASSERT_TRUE(handler);
  HMENU menu = CreatePopupMenu();
  ASSERT_EQ(handler->QueryContextMenu(menu, 0, kFirstId, kFirstId + 50, CMF_NORMAL),
            MAKE_HRESULT(SEVERITY_SUCCESS, 0, 3));
  ClearStartRecords();
  EXPECT_EQ(Invoke(handler, "open"), S_OK);
#ifdef _WIN64
  char* high = VerbAtHighAddress();
  ASSERT_NE(high, nullptr);
  ASSERT_EQ(reinterpret_cast<UINT_PTR>(high) & 0xFFFF0000u, 0u);
  strcpy(high, "open");
  EXPECT_EQ(Invoke(handler, high), S_OK);
  VirtualFree(high, 0, MEM_RELEASE);
#endif
  // A real command afterwards is the only start.
  EXPECT_EQ(Invoke(handler, MAKEINTRESOURCEA(2)), S_OK);
  ASSERT_EQ(WaitForStartRecords(1).size(), 1u);
  Sleep(500);
  std::vector<StartRecord> started = StartRecords();
  ASSERT_EQ(started.size(), 1u);
  EXPECT_NE(started[0].commandLine.find(L" -sysset"), std::wstring::npos);
  DestroyMenu(menu);
  handler->Release();

  // No selection and no clipboard text: no menu, and no command runs.
  IContextMenu* empty = NewMenuHandler({});
  ASSERT_TRUE(empty);
  menu = CreatePopupMenu();
  EXPECT_EQ(empty->QueryContextMenu(menu, 0, kFirstId, kFirstId + 50, CMF_NORMAL), S_OK);
  ClearStartRecords();
  EXPECT_EQ(Invoke(empty, MAKEINTRESOURCEA(0)), S_OK);
  Sleep(500);
  EXPECT_TRUE(StartRecords().empty());
  DestroyMenu(menu);
  empty->Release();
}

TEST(VorlinkMenu, CommandStringsFitTheCallersBuffer) {
  SetClipboardHasText(false);
  IContextMenu* handler = NewMenuHandler(kSelection);
  ASSERT_TRUE(handler);
  HMENU menu = CreatePopupMenu();
  ASSERT_TRUE(SUCCEEDED(handler->QueryContextMenu(menu, 0, kFirstId, kFirstId + 50, CMF_NORMAL)));
  const std::wstring encryptHelp = Texts(kEncrypt).help;
  struct Case {
    UINT type;
    UINT_PTR id;
    UINT cchMax;
    std::optional<std::wstring> expected;  // none: the buffer is left untouched
  } cases[] = {
      // The verbs are the ones scripts have always seen.
      {GCS_VERBW, 0, 64, L"Operation1"},
      {GCS_VERBW, 1, 64, L"Operation2"},
      {GCS_VERBW, 7, 64, L"Quennel"},
      // Help texts follow the menu that was shown: files, no clipboard text.
      {GCS_HELPTEXTW, 0, 80, encryptHelp},
      {GCS_HELPTEXTW, 1, 80, Texts(kDecrypt).help},
      {GCS_HELPTEXTW, 2, 80, Texts(kSettings).help},
      {GCS_HELPTEXTW, 3, 80, L"Quennel"},
      {GCS_VERBW, 0, 5, L"Oper"},
      {GCS_VERBW, 7, 7, L"Quenne"},
      {GCS_HELPTEXTW, 0, 4, encryptHelp.substr(0, 3)},
      {GCS_HELPTEXTW, 0, 1, L""},
      {GCS_VERBW, 0, 0, std::nullopt},
      {GCS_VERBA, 0, 64, std::nullopt},
      {GCS_HELPTEXTA, 0, 64, std::nullopt},
      {GCS_VALIDATEW, 0, 64, std::nullopt},
  };
  for (const Case& c : cases) {
    wchar_t buffer[96];
    std::fill(std::begin(buffer), std::end(buffer), L'#');
    EXPECT_EQ(handler->GetCommandString(c.id, c.type, nullptr, reinterpret_cast<CHAR*>(buffer), c.cchMax), S_OK);
    if (!c.expected) {
      EXPECT_EQ(std::wstring(buffer, 96), std::wstring(96, L'#')) << c.type << " " << c.id;
      continue;
    }
    EXPECT_EQ(std::wstring(buffer, wcsnlen(buffer, c.cchMax)), *c.expected) << c.type << " " << c.id;
    ASSERT_LT(c.expected->size(), c.cchMax);
    EXPECT_EQ(buffer[c.expected->size()], L'\0');
    for (UINT i = c.cchMax; i < 96; ++i) ASSERT_EQ(buffer[i], L'#') << "written past cchMax " << c.cchMax;
  }

  // With text on the clipboard the third command is another, and so is its help.
  SetClipboardHasText(true);
  ASSERT_TRUE(SUCCEEDED(handler->QueryContextMenu(menu, 0, kFirstId + 10, kFirstId + 50, CMF_NORMAL)));
  wchar_t help[96] = {};
  EXPECT_EQ(handler->GetCommandString(2, GCS_HELPTEXTW, nullptr, reinterpret_cast<CHAR*>(help), 96), S_OK);
  EXPECT_EQ(std::wstring(help), Texts(kClipEncrypt).help);
  SetClipboardHasText(false);
  DestroyMenu(menu);
  handler->Release();
}

}  // namespace
}  // namespace vellumo::testing
