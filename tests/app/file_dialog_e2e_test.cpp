// The file encryption dialog end to end: Vellumo.exe started as the shell
// extension or the shell starts it, worked through its controls, and the files
// on disk checked afterwards.
#include <gtest/gtest.h>

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

class FileDialogE2E : public ::testing::Test {
 protected:
  void SetUp() override { SeedKeys(appData.keyDatabase(), kKeys); }

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
    EXPECT_TRUE(IsChecked(dialog, IDC_RADIO_AES));  // fresh profile
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
    for (int id : {IDC_RADIO_AES, IDC_RADIO_DES, IDC_RADIO_RC4, IDC_LABEL_CIPHER, IDC_CHECK_PACK})
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
    EXPECT_TRUE(program.WaitExit());
  }
  EXPECT_EQ(ReadFileBytes(encrypted), encryptedBytes);
  EXPECT_EQ(ReadHeader(fresh).magic, 0x21436587u);

  // The second key is not the one these files were encrypted with.
  HandOff({encrypted});
  {
    VellumoProcess program(L"-destart");
    HWND dialog = program.WaitDialog(kDecryptTitle);
    ASSERT_NE(dialog, nullptr);
    SelectComboEntry(dialog, IDC_KEY_COMBO, 1);
    Click(dialog, IDC_BTN_START);
    EXPECT_EQ(program.DismissBox(), L"文件:" + encrypted.wstring() + L"  所选密钥错误!");
    EXPECT_TRUE(program.WaitExit());
  }
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
  struct Case {
    const char* ini;       // settings file before the run; empty: none
    int checkedButton;     // cipher button shown selected
    int32_t headerCipher;  // cipher id in the encrypted file
  } cases[] = {
      {"", IDC_RADIO_AES, 0},
      {"[DETYPE]\r\nTYPE=1\r\nZIP=0\r\n", IDC_RADIO_DES, 1},
      {"[DETYPE]\r\nTYPE=abc\r\n", IDC_RADIO_AES, 0},
      // An unknown id must not reach the header: its body would stay plain.
      {"[DETYPE]\r\nTYPE=7\r\n", IDC_RADIO_AES, 0},
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

    EXPECT_EQ(ReadHeader(file).algorithm, c.headerCipher);
    if (ini.empty())
      EXPECT_FALSE(fs::exists(appData.settingsFile()));
    else
      EXPECT_EQ(ReadFileBytes(appData.settingsFile()), ini);
  }
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

}  // namespace
}  // namespace vellumo::testing
