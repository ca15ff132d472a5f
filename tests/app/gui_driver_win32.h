#pragma once
// Drives Vellumo.exe from outside, as a user would: starts it with a command
// line, finds its dialogs by title, works their controls with window messages,
// reads and dismisses its message boxes, and waits for it to end.
#include <windows.h>

#include <cstdint>
#include <filesystem>
#include <map>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

namespace vellumo::testing {

// The folder Vellumo.exe was built into, and the program itself.
std::wstring VellumoExe();

// A fresh temporary folder that stands in for the user's application-data
// folder while the object lives. Wine asks the registry, not the environment,
// for that folder, so the registry value is switched and restored.
class ScopedAppData {
 public:
  ScopedAppData();
  ~ScopedAppData();
  ScopedAppData(const ScopedAppData&) = delete;
  ScopedAppData& operator=(const ScopedAppData&) = delete;

  const std::filesystem::path& root() const { return root_; }
  std::filesystem::path settingsFolder() const { return root_ / L"zentrik_quen"; }
  std::filesystem::path settingsFile() const { return settingsFolder() / L"quen_set.ini"; }
  std::filesystem::path keyDatabase() const { return settingsFolder() / L"docset.dat"; }

 private:
  std::filesystem::path root_;
  DWORD oldType_ = 0;
  std::vector<BYTE> oldValue_;
  bool hadValue_ = false;
};

// One run of the program.
class VellumoProcess {
 public:
  explicit VellumoProcess(const std::wstring& arguments, const std::wstring& exe = VellumoExe());
  ~VellumoProcess();  // ends the program if it still runs
  VellumoProcess(const VellumoProcess&) = delete;
  VellumoProcess& operator=(const VellumoProcess&) = delete;

  // A top-level dialog of this process with that title, or null after the timeout.
  HWND WaitDialog(const std::wstring& title, DWORD timeoutMs = 20000) const;
  // Waits for a message box of this process ("提示", or the caption the
  // program uses in another language), returns its text and presses
  // `button` in it. Empty text when none appeared.
  std::wstring DismissBox(int button = IDOK, DWORD timeoutMs = 20000, const std::wstring& caption = L"提示") const;
  bool WaitExit(DWORD timeoutMs = 30000) const;
  DWORD pid() const { return info_.dwProcessId; }

 private:
  PROCESS_INFORMATION info_{};
};

// Controls of another process's dialog.
void Click(HWND dialog, int id);  // posted: the handler may open a modal box
void SetText(HWND dialog, int id, const std::wstring& text);
std::wstring GetText(HWND window);
bool IsChecked(HWND dialog, int id);
bool IsVisible(HWND dialog, int id);
void SelectComboEntry(HWND dialog, int id, int index);
int ComboCount(HWND dialog, int id);
int ListRowCount(HWND dialog, int id);
// Cell texts of a list view in another process, row by row.
std::vector<std::vector<std::wstring>> ListRows(HWND dialog, int id, int columns);
void SelectListRow(HWND dialog, int id, int row);
// A progress bar's position and its upper end.
int ProgressPosition(HWND dialog, int id);
int ProgressEnd(HWND dialog, int id);
// Types `names` into the file name box of the program's open dialog titled
// `title` (files or a folder) and presses its OK; false when none appeared.
bool ChooseInFileDialog(const VellumoProcess& program, const std::wstring& title, const std::wstring& names);
// Drops `paths` on a window of the program, as Explorer does (WM_DROPFILES).
void DropFiles(HWND window, const std::vector<std::wstring>& paths);

// Rows of the key table, written and read as the program stores them: text in
// the ANSI code page (GBK here).
struct KeyRow {
  int id;
  std::wstring name;
  std::wstring value;
  std::wstring about;
};
void SeedKeys(const std::filesystem::path& database, const std::vector<KeyRow>& keys);
// Raw column bytes of every row in id order: id, name, value, about.
std::vector<std::vector<std::string>> KeyTableBytes(const std::filesystem::path& database);

// CF_TEXT of the clipboard as bytes, without the block's trailing zeros.
std::string ClipboardText();
void SetClipboardText(const std::string& ansi);
// CF_TEXT of exactly these bytes (a text, its zero and whatever follows).
void SetClipboardBlock(const std::string& block);
// CF_UNICODETEXT of the clipboard, up to its zero; and setting it.
std::wstring UnicodeClipboardText();
void SetUnicodeClipboardText(const std::wstring& text);

// A tiny HTTP server on 127.0.0.1 that serves fixed files and records the
// paths asked for.
class LocalHttpServer {
 public:
  explicit LocalHttpServer(uint16_t port);
  ~LocalHttpServer();
  bool listening() const { return listener_ != ~uintptr_t{0}; }
  void Serve(const std::string& path, std::string body);
  std::vector<std::string> Requests();

 private:
  void Loop();
  uintptr_t listener_;
  std::mutex mutex_;
  std::map<std::string, std::string> files_;
  std::vector<std::string> requests_;
  std::thread thread_;
};

}  // namespace vellumo::testing
