// Clipboard text across the two fronts, in both forms: Chinese text encrypted
// by vellumo-cli (from UTF-8, as a Linux user pipes it) is decrypted by the
// clipboard dialog of Vellumo.exe into the same text, the dialog encrypts it
// again in the form its settings name, and vellumo-cli decrypts the dialog's
// cipher text back into that text. In the legacy form both fronts make the
// same cipher text of the same text.
#include <gtest/gtest.h>
#include <windows.h>

#include <string>
#include <thread>

#include "crypto/ansi_codepage.h"
#include "crypto/utf8.h"
#include "gui_driver_win32.h"
#include "resources/resource.h"

namespace vellumo::testing {
namespace {

constexpr wchar_t kTitle[] = L"Quennel-剪贴板加解密";
constexpr wchar_t kKeyText[] = L"共用的密钥";

struct CliRun {
  DWORD status = ~DWORD{0};
  std::string out;
};

// vellumo-cli with `input` on its standard input and its standard output read back.
CliRun RunCli(const std::wstring& arguments, const std::string& input) {
  SECURITY_ATTRIBUTES inherit{sizeof inherit, nullptr, TRUE};
  HANDLE inRead, inWrite, outRead, outWrite;
  CliRun run;
  if (!CreatePipe(&inRead, &inWrite, &inherit, 0) || !CreatePipe(&outRead, &outWrite, &inherit, 0)) return run;
  SetHandleInformation(inWrite, HANDLE_FLAG_INHERIT, 0);
  SetHandleInformation(outRead, HANDLE_FLAG_INHERIT, 0);
  STARTUPINFOW startup{};
  startup.cb = sizeof startup;
  startup.dwFlags = STARTF_USESTDHANDLES;
  startup.hStdInput = inRead;
  startup.hStdOutput = outWrite;
  startup.hStdError = GetStdHandle(STD_ERROR_HANDLE);
  std::wstring commandLine = L"\"" VELLUMO_CLI_EXE L"\" " + arguments;
  PROCESS_INFORMATION process{};
  const BOOL started = CreateProcessW(nullptr, &commandLine[0], nullptr, nullptr, TRUE, 0, nullptr, nullptr,
                                      &startup, &process);
  CloseHandle(inRead);
  CloseHandle(outWrite);
  if (started) {
    std::thread writer([&] {
      DWORD written;
      WriteFile(inWrite, input.data(), static_cast<DWORD>(input.size()), &written, nullptr);
      CloseHandle(inWrite);
    });
    char buffer[4096];
    DWORD read;
    while (ReadFile(outRead, buffer, sizeof buffer, &read, nullptr) && read > 0) run.out.append(buffer, read);
    writer.join();
    WaitForSingleObject(process.hProcess, 60000);
    GetExitCodeProcess(process.hProcess, &run.status);
    CloseHandle(process.hThread);
    CloseHandle(process.hProcess);
  } else {
    CloseHandle(inWrite);
  }
  CloseHandle(outRead);
  return run;
}

// One run of the clipboard dialog with the first key of the list.
void RunDialog(const wchar_t* option) {
  VellumoProcess program(option);
  HWND dialog = program.WaitDialog(kTitle);
  ASSERT_NE(dialog, nullptr);
  SelectComboEntry(dialog, IDC_KEY_COMBO, 0);
  Click(dialog, IDOK);
  EXPECT_TRUE(program.WaitExit());
}

struct Form {
  const char* name;
  const wchar_t* cliOption;     // what clip-encrypt is told
  const wchar_t* dialogFormat;  // the settings' FORMAT: what the dialog writes
  const char* prefix;           // how its cipher text starts
};

class ClipboardAcrossFronts : public ::testing::TestWithParam<Form> {};

TEST_P(ClipboardAcrossFronts, ChineseTextComesOutAsItWentIn) {
  const Form& form = GetParam();
  const bool sealed = std::string(form.prefix) == "vellumo:";
  ScopedAppData appData;
  SeedKeys(appData.keyDatabase(), {{1, L"共用", kKeyText, L""}});
  ASSERT_TRUE(WritePrivateProfileStringW(L"DETYPE", L"FORMAT", form.dialogFormat, appData.settingsFile().c_str()));
  const std::wstring text = L"你好 world，剪贴板上的中文";
  const std::wstring key = std::wstring(L"--key ") + kKeyText;

  const CliRun encrypted = RunCli(std::wstring(L"clip-encrypt ") + form.cliOption + L" " + key, ToUtf8(text));
  ASSERT_EQ(encrypted.status, 0u);
  ASSERT_FALSE(encrypted.out.empty());
  const std::string cipher = encrypted.out.substr(0, encrypted.out.find('\n'));
  ASSERT_EQ(cipher.substr(0, 8), form.prefix);

  // The sealed form is Unicode text on the dialog's clipboard, the legacy
  // form the code page's (GBK).
  if (sealed) {
    SetUnicodeClipboardText(std::wstring(cipher.begin(), cipher.end()));
  } else {
    SetClipboardText(cipher);
  }
  RunDialog(L"-deslipstart");
  if (sealed) {
    EXPECT_EQ(UnicodeClipboardText(), text);
  } else {
    EXPECT_EQ(ClipboardText(), ToAnsi(text));
  }

  RunDialog(L"-enslipstart");
  std::string dialogCipher;
  if (sealed) {
    const std::wstring wide = UnicodeClipboardText();
    dialogCipher.assign(wide.begin(), wide.end());  // ASCII
    EXPECT_EQ(dialogCipher.substr(0, 8), form.prefix);
    EXPECT_NE(dialogCipher, cipher);  // a salt of its own
  } else {
    // The same text gives the dialog the same cipher text.
    dialogCipher = ClipboardText();
    EXPECT_EQ(dialogCipher, cipher);
  }

  // Written into a pipe, the text is in the console's code page (the OEM code
  // page when there is no console), as "type" would show it.
  const CliRun decrypted = RunCli(L"clip-decrypt " + key, dialogCipher);
  ASSERT_EQ(decrypted.status, 0u);
  const UINT console = GetConsoleOutputCP();
  EXPECT_EQ(FromAnsi(decrypted.out, console != 0 ? console : GetOEMCP()), text);
}

INSTANTIATE_TEST_SUITE_P(Forms, ClipboardAcrossFronts,
                         ::testing::Values(Form{"legacy", L"--legacy", L"0", "|||&&|||"},
                                           Form{"sealed", L"", L"1", "vellumo:"}),
                         [](const ::testing::TestParamInfo<Form>& info) { return std::string(info.param.name); });

}  // namespace
}  // namespace vellumo::testing
