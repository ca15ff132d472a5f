// Every dialog of Vellumo.exe at 100 %, 150 % and 200 %: Wine takes the scale
// from the registry when a program starts, so each scale gets a fresh run of
// dialog_layout_check, which lays out the templates of both languages and
// reports text that is cut and controls that overlap.
#include <gtest/gtest.h>
#include <windows.h>

#include <filesystem>
#include <string>
#include <vector>

#include "gui_driver_win32.h"
#include "test_support.h"

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

// Runs the checker; its exit status and its report. A checker that hangs is
// ended and said to have.
std::pair<DWORD, std::string> RunChecker(const std::filesystem::path& report) {
  std::wstring exe = L"" DIALOG_LAYOUT_CHECK;
  std::wstring commandLine = L"\"" + exe + L"\" \"" + VellumoExe() + L"\" \"" + report.wstring() + L"\"";
  STARTUPINFOW startup{};
  startup.cb = sizeof startup;
  PROCESS_INFORMATION process{};
  if (!CreateProcessW(exe.c_str(), commandLine.data(), nullptr, nullptr, FALSE, 0, nullptr, nullptr, &startup,
                      &process))
    return {~DWORD{0}, "the checker did not start"};
  DWORD status = ~DWORD{0};
  const bool ended = WaitForSingleObject(process.hProcess, 60000) == WAIT_OBJECT_0;
  if (ended) {
    GetExitCodeProcess(process.hProcess, &status);
  } else {
    TerminateProcess(process.hProcess, status);
    WaitForSingleObject(process.hProcess, 5000);
  }
  CloseHandle(process.hThread);
  CloseHandle(process.hProcess);
  const std::vector<uint8_t> bytes = ReadFileBytes(report);
  std::string text(bytes.begin(), bytes.end());
  if (!ended) text += "the checker did not end within a minute\n";
  return {status, text};
}

TEST(DialogLayout, EveryDialogKeepsItsTextsWholeAt100150And200Percent) {
  TempDir work;
  for (DWORD dpi : {96u, 144u, 192u}) {
    SCOPED_TRACE(dpi);
    ScopedScale scale(dpi);
    const auto [faults, report] = RunChecker(work / ("layout-" + std::to_string(dpi) + ".txt"));
    EXPECT_NE(report.find("scale " + std::to_string(dpi) + " dpi"), std::string::npos) << report;
    EXPECT_EQ(faults, 0u) << report;
  }
}

}  // namespace
}  // namespace vellumo::testing
