// The file encryption dialog end to end: Vellumo.exe started as the shell
// extension or the shell starts it, worked through its controls, and the files
// on disk checked afterwards.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

#include "crypto/crc32.h"
#include "crypto/key_block.h"
#include "fileenc/file_engine.h"
#include "gui_driver_win32.h"
#include "resources/resource.h"
#include "handoff/handoff_block_win32.h"
#include "test_support.h"

namespace vellumo::testing {
namespace {

namespace fs = std::filesystem;

constexpr wchar_t kBlockName[] = L"QMRT_WRITE_BY_20090501_ENSTART";
constexpr wchar_t kEncryptTitle[] = L"Quennel-文件加密";
constexpr wchar_t kDecryptTitle[] = L"Quennel-文件解密";
constexpr wchar_t kSummaryTitle[] = L"处理结果";

const std::vector<KeyRow> kKeys = {{1, L"工作", L"工作密钥-2024", L""}, {2, L"家庭", L"home", L"家里的"}};

struct Header {
  uint32_t magic;
  int32_t algorithm;
  uint32_t keyCheck;
  int32_t packed;
};

Header ReadHeader(const fs::path& file) {
  std::vector<uint8_t> bytes = ReadFileBytes(file);
  Header header{};
  if (bytes.size() < 64) return header;
  std::memcpy(&header.magic, &bytes[0], 4);
  std::memcpy(&header.algorithm, &bytes[20], 4);
  std::memcpy(&header.keyCheck, &bytes[24], 4);
  std::memcpy(&header.packed, &bytes[28], 4);
  return header;
}

bool IsSealedFile(const fs::path& file) {
  static const uint8_t kMagic[8] = {0x89, 0x56, 0x4C, 0x4D, 0x0D, 0x0A, 0x1A, 0x0A};
  const std::vector<uint8_t> bytes = ReadFileBytes(file);
  return bytes.size() >= 8 && std::memcmp(bytes.data(), kMagic, 8) == 0;
}

uint32_t KeyCheckOf(const KeyBlock& key) { return Crc32Of(key.data(), key.size()); }

std::vector<uint8_t> Pattern(size_t size, uint8_t seed) {
  std::vector<uint8_t> bytes(size);
  for (size_t i = 0; i < size; ++i) bytes[i] = static_cast<uint8_t>(seed + i * 7 + (i >> 8));
  return bytes;
}

// Refusals seen by the core when the test itself decrypts.
class RecordingReporter : public Reporter {
 public:
  void FileStarted(Direction, const std::wstring&) override {}
  void Refuse(FileMessage message, const std::wstring& path) override { refusals.push_back(RefusalText(message, path)); }
  std::vector<std::wstring> refusals;
};

std::wstring ReadSetting(const fs::path& ini, const wchar_t* key) {
  wchar_t value[256] = {};
  GetPrivateProfileStringW(L"DETYPE", key, L"<none>", value, 256, ini.c_str());
  return value;
}

// A large file that costs little disk: a patterned head and tail around a
// hole. Its size makes a run take long enough to watch and to stop, whatever
// the speed of the cipher.
constexpr size_t kEdge = 64 * 1024;
constexpr uint64_t kMiB = 1 << 20;

void MakeSparseFile(const fs::path& path, uint64_t size, uint8_t seed) {
  fs::create_directories(path.parent_path());
  const std::vector<uint8_t> head = Pattern(kEdge, seed), tail = Pattern(kEdge, static_cast<uint8_t>(seed + 1));
  std::ofstream out(path, std::ios::binary);
  out.write(reinterpret_cast<const char*>(head.data()), static_cast<std::streamsize>(head.size()));
  out.seekp(static_cast<std::streamoff>(size - kEdge));
  out.write(reinterpret_cast<const char*>(tail.data()), static_cast<std::streamsize>(tail.size()));
}

// Whether `path` holds, byte for byte, what MakeSparseFile wrote.
bool IsSparseFile(const fs::path& path, uint64_t size, uint8_t seed) {
  std::error_code error;
  if (fs::file_size(path, error) != size) return false;
  std::ifstream in(path, std::ios::binary);
  std::vector<uint8_t> chunk(kMiB);
  auto read = [&](size_t n) {
    chunk.resize(n);
    return static_cast<bool>(in.read(reinterpret_cast<char*>(chunk.data()), static_cast<std::streamsize>(n)));
  };
  if (!read(kEdge) || chunk != Pattern(kEdge, seed)) return false;
  for (uint64_t left = size - 2 * kEdge; left > 0;) {
    const size_t n = static_cast<size_t>(std::min<uint64_t>(left, kMiB));
    if (!read(n) || std::any_of(chunk.begin(), chunk.end(), [](uint8_t b) { return b != 0; })) return false;
    left -= n;
  }
  return read(kEdge) && chunk == Pattern(kEdge, static_cast<uint8_t>(seed + 1));
}

// Every temporary file ("...writebyqmr") below `folder`.
std::vector<fs::path> TemporaryFilesBelow(const fs::path& folder) {
  std::vector<fs::path> found;
  for (const auto& entry : fs::recursive_directory_iterator(folder)) {
    const std::wstring name = entry.path().filename().wstring();
    if (name.size() >= 10 && name.compare(name.size() - 10, 10, L"writebyqmr") == 0) found.push_back(entry.path());
  }
  return found;
}

// A new folder below `base` whose full path is `length` characters long, made
// of names short enough for any file system.
fs::path FolderOfLength(const fs::path& base, size_t length) {
  fs::path folder = base;
  size_t remaining = length - base.wstring().size();
  for (wchar_t c = L'a'; remaining > 200; ++c, remaining -= 101) folder /= std::wstring(100, c);
  folder /= std::wstring(remaining - 1, L'z');
  fs::create_directories(folder);
  return folder;
}

class FileDialogE2E : public ::testing::Test {
 protected:
  // A profile that chose a legacy cipher, as every one from before the
  // sealed format did; the sealed format's own tests start from none.
  void SetUp() override {
    SeedKeys(appData.keyDatabase(), kKeys);
    WriteSettings("[DETYPE]\r\nTYPE=0\r\n");
  }

  void WriteSettings(const std::string& ini) {
    WriteFileBytes(appData.settingsFile(), std::vector<uint8_t>(ini.begin(), ini.end()));
  }

  fs::path MakeFile(const std::wstring& name, const std::vector<uint8_t>& bytes) {
    fs::path path = work.path() / name;
    fs::create_directories(path.parent_path());
    WriteFileBytes(path, bytes);
    return path;
  }

  // Fills the shared block as the shell extension does before it starts us.
  void HandOff(const std::vector<fs::path>& paths) {
    std::vector<std::wstring> list;
    for (const fs::path& path : paths) list.push_back(path.wstring());
    ASSERT_TRUE(handoff.WriteList(kBlockName, list));
  }

  // Starts a run in an open file dialog and waits for the program to end.
  static void StartAndWait(const VellumoProcess& program, HWND dialog) {
    Click(dialog, IDC_BTN_START);
    if (!program.WaitExit())
      ADD_FAILURE() << "the dialog did not close after its run; message box: " << Narrow(program.DismissBox(IDOK, 0));
  }

  // What the run summary said; its OK then ends the program.
  struct Summary {
    std::wstring total, counts;
    std::vector<std::vector<std::wstring>> problems;  // path, reason
  };
  static Summary CloseSummary(const VellumoProcess& program, DWORD timeoutMs = 60000) {
    Summary summary;
    HWND box = program.WaitDialog(kSummaryTitle, timeoutMs);
    if (box == nullptr) {
      ADD_FAILURE() << "no summary; message box: " << Narrow(program.DismissBox(IDOK, 0));
      return summary;
    }
    summary.total = GetText(GetDlgItem(box, IDC_SUMMARY_TOTAL));
    summary.counts = GetText(GetDlgItem(box, IDC_SUMMARY_COUNTS));
    summary.problems = ListRows(box, IDC_SUMMARY_LIST, 2);
    Click(box, IDOK);
    EXPECT_TRUE(program.WaitExit()) << "the file dialog stayed after the summary";
    return summary;
  }

  // Starts the run, waits until the bar has moved past `percent` of its
  // length, and stops the run the way `how` says: the button (then "取消"),
  // Escape, or the close box. The summary that follows ends the program.
  enum class StopBy { kButton, kEscape, kCloseBox };
  static Summary StartAndStop(const VellumoProcess& program, HWND dialog, int percent, StopBy how) {
    EXPECT_EQ(GetText(GetDlgItem(dialog, IDC_BTN_QUIT)), L"退出");
    Click(dialog, IDC_BTN_START);
    const int end = ProgressEnd(dialog, IDC_PROGRESS);
    for (int i = 0; i < 12000 && ProgressPosition(dialog, IDC_PROGRESS) <= end / 100 * percent; ++i) Sleep(5);
    EXPECT_LT(ProgressPosition(dialog, IDC_PROGRESS), end) << "the run ended before it could be stopped";
    EXPECT_EQ(GetText(GetDlgItem(dialog, IDC_BTN_QUIT)), L"取消");
    switch (how) {
      case StopBy::kButton: Click(dialog, IDC_BTN_QUIT); break;
      case StopBy::kEscape: PostMessageW(dialog, WM_COMMAND, IDCANCEL, 0); break;
      case StopBy::kCloseBox: PostMessageW(dialog, WM_CLOSE, 0, 0); break;
    }
    return CloseSummary(program);
  }

  // Decrypting `file` alone in the dialog with the key at `keyIndex` is
  // refused for `reason`: one box, then the summary names it.
  void DecryptRefused(const fs::path& file, int keyIndex, const std::wstring& reason) {
    SCOPED_TRACE(Narrow(reason));
    HandOff({file});
    VellumoProcess program(L"-destart");
    HWND dialog = program.WaitDialog(kDecryptTitle);
    ASSERT_NE(dialog, nullptr);
    SelectComboEntry(dialog, IDC_KEY_COMBO, keyIndex);
    Click(dialog, IDC_BTN_START);
    EXPECT_EQ(program.DismissBox(), L"文件:" + file.wstring() + L"  " + reason);
    EXPECT_EQ(CloseSummary(program).problems, (std::vector<std::vector<std::wstring>>{{file.wstring(), reason}}));
  }

  // Decrypts a file the dialog encrypted, with the first key, as a user would.
  static void DecryptHere(const fs::path& file) {
    RecordingReporter reporter;
    FileEngine engine(reporter);
    const KeyBlock key = MakeKeyBlock(kKeys[0].value);
    engine.ProcessFile({file.wstring(), &key, 0, true, false});
    EXPECT_TRUE(reporter.refusals.empty()) << Narrow(reporter.refusals.front());
  }

  ScopedAppData appData;
  TempDir work;
  CProcessMap handoff;
};

TEST_F(FileDialogE2E, EncryptsTheHandedOffListAndDecryptsItBack) {
  const std::vector<uint8_t> small = {'h', 'e', 'l', 'l', 'o'}, big = Pattern(3000, 3), nested = Pattern(1500, 9);
  fs::path a = MakeFile(L"a 文件.txt", small);
  fs::path b = MakeFile(L"big.bin", big);
  fs::path c = MakeFile(L"目录\\c.bin", nested);
  HandOff({a, b, work.path() / L"目录"});

  {
    VellumoProcess program(L"-enstart");
    HWND dialog = program.WaitDialog(kEncryptTitle);
    ASSERT_NE(dialog, nullptr);
    auto rows = ListRows(dialog, IDC_FILE_LIST, 2);
    ASSERT_EQ(rows.size(), 3u);
    EXPECT_EQ(rows[0], (std::vector<std::wstring>{L"1", a.wstring()}));
    EXPECT_EQ(rows[2], (std::vector<std::wstring>{L"3", (work.path() / L"目录").wstring()}));
    EXPECT_EQ(ComboCount(dialog, IDC_KEY_COMBO), 2);
    EXPECT_TRUE(IsChecked(dialog, IDC_RADIO_AES));  // the profile's choice
    SelectComboEntry(dialog, IDC_KEY_COMBO, 1);
    Click(dialog, IDC_RADIO_RC4);
    StartAndWait(program, dialog);
  }

  const KeyBlock home = MakeKeyBlock(L"home");
  for (const auto& [path, plain] : {std::pair{a, small}, std::pair{b, big}, std::pair{c, nested}}) {
    Header header = ReadHeader(path);
    EXPECT_EQ(header.magic, 0x21436587u) << path;
    EXPECT_EQ(header.algorithm, 2) << path;
    EXPECT_EQ(header.keyCheck, KeyCheckOf(home)) << path;
    EXPECT_EQ(header.packed, 0) << path;
    EXPECT_EQ(fs::file_size(path), plain.size() + 64) << path;
  }
  EXPECT_EQ(ReadSetting(appData.settingsFile(), L"TYPE"), L"2");
  EXPECT_EQ(ReadSetting(appData.settingsFile(), L"ZIP"), L"<none>");  // packing was not changed

  HandOff({a, b, work.path() / L"目录"});
  {
    VellumoProcess program(L"-destart");
    HWND dialog = program.WaitDialog(kDecryptTitle);
    ASSERT_NE(dialog, nullptr);
    for (int id : {IDC_RADIO_AES, IDC_RADIO_DES, IDC_RADIO_RC4, IDC_RADIO_SEALED, IDC_LABEL_CIPHER, IDC_CHECK_PACK})
      EXPECT_FALSE(IsVisible(dialog, id)) << id;
    EXPECT_TRUE(IsVisible(dialog, IDC_CHECK_MANUAL));
    SelectComboEntry(dialog, IDC_KEY_COMBO, 1);
    StartAndWait(program, dialog);
  }
  EXPECT_EQ(ReadFileBytes(a), small);
  EXPECT_EQ(ReadFileBytes(b), big);
  EXPECT_EQ(ReadFileBytes(c), nested);
}

TEST_F(FileDialogE2E, RefusalsAreShownAndTheRunGoesOn) {
  const std::vector<uint8_t> plain = Pattern(100, 1);
  fs::path encrypted = MakeFile(L"done.txt", plain);
  fs::path fresh = MakeFile(L"fresh.txt", plain);
  {
    RecordingReporter reporter;
    FileEngine engine(reporter);
    const KeyBlock key = MakeKeyBlock(kKeys[0].value);
    engine.ProcessFile({encrypted.wstring(), &key, 0, false, false});
  }
  const std::vector<uint8_t> encryptedBytes = ReadFileBytes(encrypted);

  HandOff({encrypted, fresh});
  {
    VellumoProcess program(L"-enstart");
    HWND dialog = program.WaitDialog(kEncryptTitle);
    ASSERT_NE(dialog, nullptr);
    Click(dialog, IDC_BTN_START);
    EXPECT_EQ(program.DismissBox(), L"文件:" + encrypted.wstring() + L"  已是加密文件!");
    // Not every file was done: the summary says which and why before the dialog closes.
    const Summary summary = CloseSummary(program);
    EXPECT_EQ(summary.total, L"共处理文件数:2");
    EXPECT_EQ(summary.counts, L"完成 1 个，跳过 1 个，失败 0 个，未处理 0 个。");
    EXPECT_EQ(summary.problems, (std::vector<std::vector<std::wstring>>{{encrypted.wstring(), L"已是加密文件!"}}));
  }
  EXPECT_EQ(ReadFileBytes(encrypted), encryptedBytes);
  EXPECT_EQ(ReadHeader(fresh).magic, 0x21436587u);

  // The second key is not the one these files were encrypted with.
  DecryptRefused(encrypted, 1, L"所选密钥错误!");
  EXPECT_EQ(ReadFileBytes(encrypted), encryptedBytes);
}

TEST_F(FileDialogE2E, StartWithoutAnyKeyIsRefused) {
  fs::remove(appData.keyDatabase());
  SeedKeys(appData.keyDatabase(), {});
  const std::vector<uint8_t> plain = Pattern(50, 5);
  fs::path file = MakeFile(L"x.txt", plain);
  HandOff({file});

  VellumoProcess program(L"-enstart");
  HWND dialog = program.WaitDialog(kEncryptTitle);
  ASSERT_NE(dialog, nullptr);
  EXPECT_EQ(ComboCount(dialog, IDC_KEY_COMBO), 0);
  Click(dialog, IDC_BTN_START);
  EXPECT_EQ(program.DismissBox(), L"请先选择密钥!");
  // Still idle: the list is intact and "退出" closes the dialog.
  EXPECT_EQ(ListRowCount(dialog, IDC_FILE_LIST), 1);
  Click(dialog, IDC_BTN_QUIT);
  EXPECT_TRUE(program.WaitExit());
  EXPECT_EQ(ReadFileBytes(file), plain);
}

TEST_F(FileDialogE2E, SettingsSelectTheCipherAndAreWrittenOnlyWhenChanged) {
  constexpr int32_t kSealed = -1;
  struct Case {
    const char* ini;       // settings file before the run; empty: none
    int checkedButton;     // cipher button shown selected
    int32_t headerCipher;  // cipher id in the encrypted file, or kSealed
  } cases[] = {
      // A new installation writes the sealed format; an earlier choice stays.
      {"", IDC_RADIO_SEALED, kSealed},
      {"[DETYPE]\r\nTYPE=1\r\nZIP=0\r\n", IDC_RADIO_DES, 1},
      {"[DETYPE]\r\nTYPE=abc\r\n", IDC_RADIO_AES, 0},
      // An unknown id must not reach the header: its body would stay plain.
      {"[DETYPE]\r\nTYPE=7\r\n", IDC_RADIO_AES, 0},
      {"[DETYPE]\r\nTYPE=2\r\nFORMAT=1\r\n", IDC_RADIO_SEALED, kSealed},
      {"[DETYPE]\r\nFORMAT=0\r\n", IDC_RADIO_AES, 0},
  };
  int n = 0;
  for (const Case& c : cases) {
    SCOPED_TRACE(c.ini);
    fs::remove(appData.settingsFile());
    std::vector<uint8_t> ini(c.ini, c.ini + std::strlen(c.ini));
    if (!ini.empty()) WriteFileBytes(appData.settingsFile(), ini);
    const std::vector<uint8_t> plain = Pattern(40, static_cast<uint8_t>(n));
    fs::path file = MakeFile(L"s" + std::to_wstring(n++) + L".txt", plain);
    HandOff({file});

    VellumoProcess program(L"-enstart");
    HWND dialog = program.WaitDialog(kEncryptTitle);
    ASSERT_NE(dialog, nullptr);
    EXPECT_TRUE(IsChecked(dialog, c.checkedButton));
    EXPECT_FALSE(IsChecked(dialog, IDC_CHECK_PACK));
    StartAndWait(program, dialog);

    if (c.headerCipher == kSealed)
      EXPECT_TRUE(IsSealedFile(file));
    else
      EXPECT_EQ(ReadHeader(file).algorithm, c.headerCipher);
    if (ini.empty())
      EXPECT_FALSE(fs::exists(appData.settingsFile()));
    else
      EXPECT_EQ(ReadFileBytes(appData.settingsFile()), ini);
  }
}

// The sealed choice: chosen in the dialog and kept for the next run; a file
// it wrote opens only with its key and only unchanged, and a refused file is
// left as it was.
TEST_F(FileDialogE2E, TheSealedChoiceWritesFilesThatRefuseWrongKeysAndChanges) {
  const std::vector<uint8_t> plain = Pattern(200000, 6);
  const fs::path file = MakeFile(L"安全.bin", plain), changed = MakeFile(L"changed.bin", plain);
  HandOff({file, changed});
  {
    VellumoProcess program(L"-enstart");
    HWND dialog = program.WaitDialog(kEncryptTitle);
    ASSERT_NE(dialog, nullptr);
    EXPECT_TRUE(IsChecked(dialog, IDC_RADIO_AES));
    Click(dialog, IDC_RADIO_SEALED);
    StartAndWait(program, dialog);
  }
  EXPECT_EQ(ReadSetting(appData.settingsFile(), L"FORMAT"), L"1");
  EXPECT_EQ(ReadSetting(appData.settingsFile(), L"TYPE"), L"0");  // the legacy choice stays for later
  ASSERT_TRUE(IsSealedFile(file));
  ASSERT_TRUE(IsSealedFile(changed));
  std::vector<uint8_t> bytes = ReadFileBytes(changed);
  bytes[bytes.size() / 2] ^= 0x01;
  WriteFileBytes(changed, bytes);
  const std::vector<uint8_t> sealedBytes = ReadFileBytes(file);

  struct Refusal {
    fs::path file;
    int keyIndex;
    std::wstring reason;
  } refusals[] = {{file, 1, L"所选密钥错误!"}, {changed, 0, L"已损坏或被改动!"}};
  for (const Refusal& r : refusals) DecryptRefused(r.file, r.keyIndex, r.reason);
  EXPECT_EQ(ReadFileBytes(file), sealedBytes);
  EXPECT_EQ(ReadFileBytes(changed), bytes);
  EXPECT_TRUE(TemporaryFilesBelow(work.path()).empty());

  HandOff({file});
  {
    VellumoProcess program(L"-destart");
    HWND dialog = program.WaitDialog(kDecryptTitle);
    ASSERT_NE(dialog, nullptr);
    SelectComboEntry(dialog, IDC_KEY_COMBO, 0);
    StartAndWait(program, dialog);
  }
  EXPECT_EQ(ReadFileBytes(file), plain);
}

TEST_F(FileDialogE2E, APathArgumentOpensDecryptionOfThatPath) {
  const std::vector<uint8_t> plain = Pattern(2000, 4);
  fs::path file = MakeFile(L"打开的.bin", plain);
  {
    RecordingReporter reporter;
    FileEngine engine(reporter);
    const KeyBlock key = MakeKeyBlock(kKeys[0].value);
    engine.ProcessFile({file.wstring(), &key, 1, false, false});
    ASSERT_TRUE(reporter.refusals.empty());
  }
  VellumoProcess program(L"\"" + file.wstring() + L"\"");
  HWND dialog = program.WaitDialog(kDecryptTitle);
  ASSERT_NE(dialog, nullptr);
  auto rows = ListRows(dialog, IDC_FILE_LIST, 2);
  ASSERT_EQ(rows.size(), 1u);
  EXPECT_EQ(rows[0][1], file.wstring());
  StartAndWait(program, dialog);  // first key is selected
  EXPECT_EQ(ReadFileBytes(file), plain);
}

TEST_F(FileDialogE2E, ArgumentsThatAreNeitherOptionNorPathEndTheProgramSilently) {
  MakeFile(L"exists.txt", {1});
  const std::wstring arguments[] = {
      L"-ENSTART",                                        // options are case-sensitive
      L"\"" + (work.path() / L"missing.txt").wstring() + L"\"",
      L"-enstart -destart",                               // two arguments
  };
  for (const std::wstring& argument : arguments) {
    SCOPED_TRACE(Narrow(argument));
    VellumoProcess program(argument);
    EXPECT_TRUE(program.WaitExit(15000));
    EXPECT_EQ(program.WaitDialog(kEncryptTitle, 0), nullptr);
  }
}

TEST_F(FileDialogE2E, ManualKeyDialogChecksItsTextsAndCancelEmptiesTheKey) {
  const std::vector<uint8_t> plain = Pattern(64, 8);
  fs::path cancelled = MakeFile(L"m1.txt", plain);
  HandOff({cancelled});
  {
    VellumoProcess program(L"-enstart");
    HWND dialog = program.WaitDialog(kEncryptTitle);
    ASSERT_NE(dialog, nullptr);
    Click(dialog, IDC_CHECK_MANUAL);
    HWND input = program.WaitDialog(L"密钥输入对话框");
    ASSERT_NE(input, nullptr);
    Click(input, IDOK);
    EXPECT_EQ(program.DismissBox(), L"密钥不能为空！");
    SetText(input, IDC_EDIT_MANUAL_KEY, L"abc");
    SetText(input, IDC_EDIT_MANUAL_CONFIRM, L"ABC");
    Click(input, IDOK);
    EXPECT_EQ(program.DismissBox(), L"两个密钥不同，请重新输入！");
    EXPECT_EQ(GetText(GetDlgItem(input, IDC_EDIT_MANUAL_CONFIRM)), L"ABC");  // kept for correction
    // A Thai letter: the Chinese code page has no byte for it.
    SetText(input, IDC_EDIT_MANUAL_KEY, L"abc\u0E01");
    SetText(input, IDC_EDIT_MANUAL_CONFIRM, L"abc\u0E01");
    Click(input, IDOK);
    EXPECT_EQ(program.DismissBox(), L"密钥中有当前系统编码（代码页 936）无法表示的字符，请换用其他字符！");
    // Typed keys are hidden until asked for.
    for (int id : {IDC_EDIT_MANUAL_KEY, IDC_EDIT_MANUAL_CONFIRM})
      EXPECT_NE(SendMessageW(GetDlgItem(input, id), EM_GETPASSWORDCHAR, 0, 0), 0) << id;
    Click(input, IDC_CHECK_SHOW_KEY);
    for (int i = 0; i < 200 && SendMessageW(GetDlgItem(input, IDC_EDIT_MANUAL_KEY), EM_GETPASSWORDCHAR, 0, 0); ++i)
      Sleep(25);
    for (int id : {IDC_EDIT_MANUAL_KEY, IDC_EDIT_MANUAL_CONFIRM})
      EXPECT_EQ(SendMessageW(GetDlgItem(input, id), EM_GETPASSWORDCHAR, 0, 0), 0) << id;
    Click(input, IDCANCEL);
    ASSERT_TRUE(program.WaitDialog(kEncryptTitle) != nullptr);
    EXPECT_TRUE(IsChecked(dialog, IDC_CHECK_MANUAL));
    StartAndWait(program, dialog);
  }
  EXPECT_EQ(ReadHeader(cancelled).keyCheck, KeyCheckOf(MakeKeyBlock(kKeys[0].value)));

  // A manual key shorter than the list key lies over the start of its block.
  fs::path manual = MakeFile(L"m2.txt", plain);
  HandOff({manual});
  {
    VellumoProcess program(L"-enstart");
    HWND dialog = program.WaitDialog(kEncryptTitle);
    ASSERT_NE(dialog, nullptr);
    Click(dialog, IDC_CHECK_MANUAL);
    HWND input = program.WaitDialog(L"密钥输入对话框");
    ASSERT_NE(input, nullptr);
    SetText(input, IDC_EDIT_MANUAL_KEY, L"手");
    SetText(input, IDC_EDIT_MANUAL_CONFIRM, L"手");
    Click(input, IDOK);
    ASSERT_TRUE(program.WaitDialog(kEncryptTitle) != nullptr);
    StartAndWait(program, dialog);
  }
  KeyBlock combined = MakeKeyBlock(kKeys[0].value);
  const KeyBlock hand = MakeKeyBlock(L"手");
  std::copy_n(hand.begin(), 2, combined.begin());  // "手" is two bytes in GBK
  EXPECT_EQ(ReadHeader(manual).keyCheck, KeyCheckOf(combined));
  RecordingReporter reporter;
  FileEngine engine(reporter);
  engine.ProcessFile({manual.wstring(), &combined, 0, true, false});
  EXPECT_TRUE(reporter.refusals.empty());
  EXPECT_EQ(ReadFileBytes(manual), plain);
}

TEST_F(FileDialogE2E, PackingTurnsAFolderIntoOneEncryptedArchive) {
  MakeFile(L"项目\\one.txt", Pattern(300, 1));
  MakeFile(L"项目\\sub\\two.txt", Pattern(700, 2));
  HandOff({work.path() / L"项目"});
  {
    VellumoProcess program(L"-enstart");
    HWND dialog = program.WaitDialog(kEncryptTitle);
    ASSERT_NE(dialog, nullptr);
    Click(dialog, IDC_CHECK_PACK);
    StartAndWait(program, dialog);
  }
  fs::path packed = work.path() / L"项目.szip";
  ASSERT_TRUE(fs::exists(packed));
  Header header = ReadHeader(packed);
  EXPECT_EQ(header.magic, 0x21436587u);
  EXPECT_EQ(header.packed, 1);
  EXPECT_EQ(ReadFileBytes(work.path() / L"项目\\one.txt"), Pattern(300, 1));  // the folder stays
  EXPECT_EQ(ReadSetting(appData.settingsFile(), L"ZIP"), L"1");
}

TEST_F(FileDialogE2E, LongPathsAreTreatedWholeWhetherHandedOffOrDropped) {
  // A file whose first 1023 characters name its folder: a path cut to fit a
  // 1024-character buffer names the folder, and a path cut to MAX_PATH names
  // nothing. Either way the neighbour shows whether more than the file was treated.
  const std::vector<uint8_t> plain = Pattern(500, 6);
  for (bool dropped : {false, true}) {
    SCOPED_TRACE(dropped ? "dropped" : "handed off");
    const fs::path folder = FolderOfLength(work.path() / (dropped ? L"drop" : L"block"), 1023);
    const fs::path file = folder / L"secret.txt";
    ASSERT_EQ(file.wstring().size(), 1034u);
    WriteFileBytes(file, plain);
    WriteFileBytes(folder / L"other.txt", plain);
    if (!dropped) HandOff({file});

    VellumoProcess program(L"-enstart");
    HWND dialog = program.WaitDialog(kEncryptTitle);
    ASSERT_NE(dialog, nullptr);
    if (dropped) {
      DropFiles(dialog, {file.wstring()});
      for (int i = 0; i < 200 && ListRowCount(dialog, IDC_FILE_LIST) == 0; ++i) Sleep(25);
    }
    auto rows = ListRows(dialog, IDC_FILE_LIST, 2);
    ASSERT_EQ(rows.size(), 1u);
    ASSERT_EQ(rows[0][1], file.wstring());
    StartAndWait(program, dialog);

    EXPECT_EQ(ReadHeader(file).magic, 0x21436587u);
    EXPECT_EQ(ReadFileBytes(folder / L"other.txt"), plain);
  }
}

TEST_F(FileDialogE2E, ProgressRisesToTheEndAndLongPathsLoseTheirMiddle) {
  const fs::path folder = FolderOfLength(work.path() / L"进度", 300);
  const fs::path big = folder / L"大文件.bin";
  MakeSparseFile(big, 256 * kMiB, 1);
  const fs::path one = MakeFile(L"one.txt", Pattern(1000, 2)), two = MakeFile(L"two.txt", Pattern(3000, 3));
  HandOff({one, big, two});

  // Started by the user, not from the shell: a clean run ends with the summary too.
  VellumoProcess program(L"");
  HWND dialog = program.WaitDialog(kEncryptTitle);
  ASSERT_NE(dialog, nullptr);
  Click(dialog, IDC_BTN_START);
  std::vector<int> positions;
  std::vector<std::wstring> statuses;
  bool cancelOffered = false;
  HWND box = nullptr;
  for (int i = 0; i < 24000 && box == nullptr; ++i) {
    positions.push_back(ProgressPosition(dialog, IDC_PROGRESS));
    const std::wstring status = GetText(GetDlgItem(dialog, IDC_STATUS));
    if (statuses.empty() || statuses.back() != status) statuses.push_back(status);
    cancelOffered = cancelOffered || GetText(GetDlgItem(dialog, IDC_BTN_QUIT)) == L"取消";
    box = program.WaitDialog(kSummaryTitle, 0);
    Sleep(5);
  }
  ASSERT_NE(box, nullptr);
  const int end = ProgressEnd(dialog, IDC_PROGRESS);
  EXPECT_TRUE(std::is_sorted(positions.begin(), positions.end()));
  EXPECT_TRUE(std::any_of(positions.begin(), positions.end(), [end](int p) { return p > 0 && p < end; }))
      << "the bar was never seen between its ends";
  EXPECT_EQ(ProgressPosition(dialog, IDC_PROGRESS), end);
  EXPECT_TRUE(cancelOffered);
  EXPECT_EQ(GetText(GetDlgItem(dialog, IDC_PROGRESS_TEXT)).rfind(L"已完成 3 / 3 个文件", 0), 0u);
  EXPECT_EQ(GetText(GetDlgItem(dialog, IDC_STATUS)), L"共处理文件数:3");

  // The long path was shown with its start and its file name, its middle left out.
  const std::wstring start = L"正在加密文件:" + work.path().wstring().substr(0, 3);
  const auto shortened = std::find_if(statuses.begin(), statuses.end(), [&](const std::wstring& line) {
    return line.find(L"\u2026") != std::wstring::npos;
  });
  ASSERT_NE(shortened, statuses.end()) << "no line was shortened";
  EXPECT_EQ(shortened->rfind(start, 0), 0u) << Narrow(*shortened);
  EXPECT_GE(shortened->size(), 10u);
  EXPECT_EQ(shortened->substr(shortened->size() - 8), L"\\大文件.bin") << Narrow(*shortened);

  const Summary summary = CloseSummary(program);
  EXPECT_EQ(summary.counts, L"完成 3 个，跳过 0 个，失败 0 个，未处理 0 个。");
  EXPECT_TRUE(summary.problems.empty());
  EXPECT_EQ(ReadHeader(big).magic, 0x21436587u);
  DecryptHere(big);
  EXPECT_TRUE(IsSparseFile(big, 256 * kMiB, 1));
}

TEST_F(FileDialogE2E, StoppingMidFileLeavesThatFileAsItWas) {
  const fs::path big = work.path() / L"大.bin";
  MakeSparseFile(big, 1024 * kMiB, 4);
  const std::vector<uint8_t> plain = Pattern(2000, 5);
  const fs::path after = MakeFile(L"after.txt", plain);
  HandOff({big, after});

  VellumoProcess program(L"-enstart");
  HWND dialog = program.WaitDialog(kEncryptTitle);
  ASSERT_NE(dialog, nullptr);
  const Summary summary = StartAndStop(program, dialog, 0, StopBy::kButton);
  EXPECT_EQ(summary.counts, L"已取消。 完成 0 个，跳过 0 个，失败 0 个，未处理 2 个。");
  EXPECT_EQ(summary.problems, (std::vector<std::vector<std::wstring>>{{big.wstring(), L"已取消，文件保持原样"}}));
  EXPECT_TRUE(IsSparseFile(big, 1024 * kMiB, 4));
  EXPECT_EQ(ReadFileBytes(after), plain);
  EXPECT_TRUE(TemporaryFilesBelow(work.path()).empty());
}

TEST_F(FileDialogE2E, StoppingMidTreeKeepsEveryFileWhole) {
  const fs::path tree = work.path() / L"树";
  constexpr int kBig = 4;
  for (int i = 0; i < kBig; ++i) MakeSparseFile(tree / (L"b" + std::to_wstring(i) + L".bin"), 128 * kMiB, static_cast<uint8_t>(10 * i));
  const std::vector<uint8_t> small = Pattern(700, 9);
  MakeFile(L"树\\子\\small.txt", small);
  HandOff({tree});

  VellumoProcess program(L"-enstart");
  HWND dialog = program.WaitDialog(kEncryptTitle);
  ASSERT_NE(dialog, nullptr);
  const Summary summary = StartAndStop(program, dialog, 40, StopBy::kEscape);

  // Each file is either done (and decrypts to what it was) or untouched.
  int done = 0, untouched = 0;
  for (int i = 0; i < kBig; ++i) {
    const fs::path file = tree / (L"b" + std::to_wstring(i) + L".bin");
    if (IsSparseFile(file, 128 * kMiB, static_cast<uint8_t>(10 * i))) {
      ++untouched;
      continue;
    }
    ++done;
    ASSERT_EQ(ReadHeader(file).magic, 0x21436587u) << file;
    DecryptHere(file);
    EXPECT_TRUE(IsSparseFile(file, 128 * kMiB, static_cast<uint8_t>(10 * i))) << file;
  }
  const fs::path smallFile = tree / L"子" / L"small.txt";
  if (ReadFileBytes(smallFile) == small) {
    ++untouched;
  } else {
    ++done;
    DecryptHere(smallFile);
    EXPECT_EQ(ReadFileBytes(smallFile), small);
  }
  EXPECT_GE(done, 1);
  EXPECT_GE(untouched, 1);
  EXPECT_TRUE(TemporaryFilesBelow(tree).empty());
  EXPECT_EQ(summary.counts, L"已取消。 完成 " + std::to_wstring(done) + L" 个，跳过 0 个，失败 0 个，未处理 " +
                                std::to_wstring(untouched) + L" 个。");
}

TEST_F(FileDialogE2E, StoppingAPackedRunLeavesNoArchive) {
  const fs::path folder = work.path() / L"包";
  MakeSparseFile(folder / L"big.bin", 768 * kMiB, 7);
  const std::vector<uint8_t> small = Pattern(900, 8);
  MakeFile(L"包\\small.txt", small);
  HandOff({folder});

  VellumoProcess program(L"-enstart");
  HWND dialog = program.WaitDialog(kEncryptTitle);
  ASSERT_NE(dialog, nullptr);
  Click(dialog, IDC_CHECK_PACK);
  const Summary summary = StartAndStop(program, dialog, 0, StopBy::kCloseBox);
  EXPECT_EQ(summary.counts.rfind(L"已取消。", 0), 0u) << Narrow(summary.counts);
  EXPECT_FALSE(fs::exists(work.path() / L"包.szip"));
  EXPECT_TRUE(TemporaryFilesBelow(work.path()).empty());
  EXPECT_TRUE(IsSparseFile(folder / L"big.bin", 768 * kMiB, 7));
  EXPECT_EQ(ReadFileBytes(folder / L"small.txt"), small);
}

TEST_F(FileDialogE2E, AfterThreeRefusalBoxesTheRestGoToTheSummary) {
  const KeyBlock key = MakeKeyBlock(kKeys[0].value);
  std::vector<fs::path> refused, fresh;
  for (int i = 0; i < 7; ++i) {
    refused.push_back(MakeFile(L"r" + std::to_wstring(i) + L".txt", Pattern(80, static_cast<uint8_t>(i))));
    RecordingReporter reporter;
    FileEngine engine(reporter);
    engine.ProcessFile({refused.back().wstring(), &key, 0, false, false});
  }
  for (int i = 0; i < 2; ++i) fresh.push_back(MakeFile(L"f" + std::to_wstring(i) + L".txt", Pattern(80, 50)));
  std::vector<fs::path> all = refused;
  all.insert(all.begin() + 3, fresh.begin(), fresh.end());
  HandOff(all);

  VellumoProcess program(L"-enstart");
  HWND dialog = program.WaitDialog(kEncryptTitle);
  ASSERT_NE(dialog, nullptr);
  Click(dialog, IDC_BTN_START);
  for (int i = 0; i < 3; ++i) EXPECT_EQ(program.DismissBox(), L"文件:" + refused[i].wstring() + L"  已是加密文件!");
  const Summary summary = CloseSummary(program);  // no fourth box stands in its way
  EXPECT_EQ(summary.counts, L"完成 2 个，跳过 7 个，失败 0 个，未处理 0 个。");
  ASSERT_EQ(summary.problems.size(), refused.size());
  for (size_t i = 0; i < refused.size(); ++i)
    EXPECT_EQ(summary.problems[i], (std::vector<std::wstring>{refused[i].wstring(), L"已是加密文件!"}));
  for (const fs::path& file : fresh) EXPECT_EQ(ReadHeader(file).magic, 0x21436587u);
}

TEST_F(FileDialogE2E, ACleanShellRunShowsTheSummaryWhenAskedTo) {
  const std::vector<uint8_t> plain = Pattern(300, 3);
  const fs::path file = MakeFile(L"x.txt", plain);
  WriteSettings("[DETYPE]\r\nTYPE=0\r\nAUTOCLOSE=0\r\n");
  HandOff({file});
  VellumoProcess program(L"-enstart");
  HWND dialog = program.WaitDialog(kEncryptTitle);
  ASSERT_NE(dialog, nullptr);
  Click(dialog, IDC_BTN_START);
  EXPECT_EQ(CloseSummary(program).counts, L"完成 1 个，跳过 0 个，失败 0 个，未处理 0 个。");
  EXPECT_EQ(ReadHeader(file).magic, 0x21436587u);
}

TEST_F(FileDialogE2E, TheListIsEditedByDropsButtonsAndTheDeleteKey) {
  const std::vector<uint8_t> plain = Pattern(400, 4);
  const fs::path a = MakeFile(L"a.txt", plain), b = MakeFile(L"b.txt", plain), c = MakeFile(L"c.txt", plain),
                 d = MakeFile(L"d.txt", plain), inFolder = MakeFile(L"文件夹\\e.txt", plain);
  const fs::path folder = work.path() / L"文件夹";
  HandOff({a, b, c});

  VellumoProcess program(L"-enstart");
  HWND dialog = program.WaitDialog(kEncryptTitle);
  ASSERT_NE(dialog, nullptr);
  auto rows = [&] { return ListRows(dialog, IDC_FILE_LIST, 2); };
  using Rows = std::vector<std::vector<std::wstring>>;

  // A path already listed, spelled in other letter case, is not added again.
  std::wstring bUpper = b.wstring();
  std::transform(bUpper.begin(), bUpper.end(), bUpper.begin(), ::towupper);
  DropFiles(dialog, {bUpper, d.wstring()});
  for (int i = 0; i < 200 && ListRowCount(dialog, IDC_FILE_LIST) < 4; ++i) Sleep(25);
  EXPECT_EQ(rows(), (Rows{{L"1", a.wstring()}, {L"2", b.wstring()}, {L"3", c.wstring()}, {L"4", d.wstring()}}));

  // Removing rows numbers the rest 1...n again.
  SelectListRow(dialog, IDC_FILE_LIST, 1);
  SelectListRow(dialog, IDC_FILE_LIST, 2);
  Click(dialog, IDC_BTN_REMOVE);
  for (int i = 0; i < 200 && ListRowCount(dialog, IDC_FILE_LIST) != 2; ++i) Sleep(25);
  EXPECT_EQ(rows(), (Rows{{L"1", a.wstring()}, {L"2", d.wstring()}}));
  SelectListRow(dialog, IDC_FILE_LIST, 0);
  PostMessageW(GetDlgItem(dialog, IDC_FILE_LIST), WM_KEYDOWN, VK_DELETE, 0);
  for (int i = 0; i < 200 && ListRowCount(dialog, IDC_FILE_LIST) != 1; ++i) Sleep(25);
  EXPECT_EQ(rows(), (Rows{{L"1", d.wstring()}}));

  // The buttons open the system's file and folder pickers.
  Click(dialog, IDC_BTN_ADD_FILES);
  ASSERT_TRUE(ChooseInFileDialog(program, L"选择要加入列表的文件", a.wstring()));
  Click(dialog, IDC_BTN_ADD_FOLDER);
  ASSERT_TRUE(ChooseInFileDialog(program, L"选择要加入列表的文件夹", folder.wstring()));
  Click(dialog, IDC_BTN_ADD_FILES);
  ASSERT_TRUE(ChooseInFileDialog(program, L"选择要加入列表的文件", d.wstring()));  // listed already
  ASSERT_NE(program.WaitDialog(kEncryptTitle), nullptr);
  EXPECT_EQ(rows(), (Rows{{L"1", d.wstring()}, {L"2", a.wstring()}, {L"3", folder.wstring()}}));

  StartAndWait(program, dialog);
  for (const fs::path& file : {a, d, inFolder}) EXPECT_EQ(ReadHeader(file).magic, 0x21436587u) << file;
  for (const fs::path& file : {b, c}) EXPECT_EQ(ReadFileBytes(file), plain) << file;
}

}  // namespace
}  // namespace vellumo::testing
