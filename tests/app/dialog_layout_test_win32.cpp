// Every dialog of Vellumo.exe at 100 %, 150 % and 200 %: Wine takes the scale
// from the registry when a program starts, so each scale gets a fresh run of
// dialog_layout_check, which lays out the templates of both languages and
// reports text that is cut and controls that overlap.
#include <gtest/gtest.h>
#include <windows.h>

#include <string>

#include "gui_driver_win32.h"

namespace vellumo::testing {
namespace {

constexpr wchar_t kDesktop[] = L"Control Panel\\Desktop";

// The scale programs started from now on are given; the old one comes back.
class ScopedScale {
 public:
  explicit ScopedScale(DWORD dpi) {
    RegCreateKeyExW(HKEY_CURRENT_USER, kDesktop, 0, nullptr, 0, KEY_QUERY_VALUE | KEY_SET_VALUE, nullptr, &key_,
                    nullptr);
    DWORD size = sizeof old_;
    had_ = RegQueryValueExW(key_, L"LogPixels", nullptr, nullptr, reinterpret_cast<BYTE*>(&old_), &size) ==
           ERROR_SUCCESS;
    RegSetValueExW(key_, L"LogPixels", 0, REG_DWORD, reinterpret_cast<const BYTE*>(&dpi), sizeof dpi);
  }
  ~ScopedScale() {
    if (had_) {
      RegSetValueExW(key_, L"LogPixels", 0, REG_DWORD, reinterpret_cast<const BYTE*>(&old_), sizeof old_);
    } else {
      RegDeleteValueW(key_, L"LogPixels");
    }
    RegCloseKey(key_);
  }
  ScopedScale(const ScopedScale&) = delete;
  ScopedScale& operator=(const ScopedScale&) = delete;

 private:
  HKEY key_ = nullptr;
  DWORD old_ = 0;
  bool had_ = false;
};

// Runs the checker; its exit status and what it printed.
std::pair<DWORD, std::string> RunChecker() {
  SECURITY_ATTRIBUTES inherit{sizeof inherit, nullptr, TRUE};
  HANDLE read = nullptr, write = nullptr;
  CreatePipe(&read, &write, &inherit, 0);
  SetHandleInformation(read, HANDLE_FLAG_INHERIT, 0);
  STARTUPINFOW startup{};
  startup.cb = sizeof startup;
  startup.dwFlags = STARTF_USESTDHANDLES;
  startup.hStdOutput = write;
  startup.hStdError = write;
  std::wstring exe = L"" DIALOG_LAYOUT_CHECK;
  std::wstring commandLine = L"\"" + exe + L"\" \"" + VellumoExe() + L"\"";
  PROCESS_INFORMATION process{};
  if (!CreateProcessW(exe.c_str(), commandLine.data(), nullptr, nullptr, TRUE, 0, nullptr, nullptr, &startup,
                      &process)) {
    CloseHandle(read);
    CloseHandle(write);
    return {~DWORD{0}, "the checker did not start"};
  }
  CloseHandle(write);
  std::string output;
  char buffer[4096];
  DWORD got = 0;
  while (ReadFile(read, buffer, sizeof buffer, &got, nullptr) && got > 0) output.append(buffer, got);
  CloseHandle(read);
  WaitForSingleObject(process.hProcess, 60000);
  DWORD status = ~DWORD{0};
  GetExitCodeProcess(process.hProcess, &status);
  CloseHandle(process.hThread);
  CloseHandle(process.hProcess);
  return {status, output};
}

TEST(DialogLayout, EveryDialogKeepsItsTextsWholeAt100150And200Percent) {
  for (DWORD dpi : {96u, 144u, 192u}) {
    SCOPED_TRACE(dpi);
    ScopedScale scale(dpi);
    const auto [faults, report] = RunChecker();
    EXPECT_NE(report.find("scale " + std::to_string(dpi) + " dpi"), std::string::npos) << report;
    EXPECT_EQ(faults, 0u) << report;
  }
}

}  // namespace
}  // namespace vellumo::testing
