#include "gui_driver_win32.h"

#include <winsock2.h>
#include <ws2tcpip.h>
#include <commctrl.h>
#include <dlgs.h>
#include <shlobj.h>

#include <sqlite3.h>

#include <algorithm>
#include <atomic>
#include <cstring>

#include "crypto/ansi_codepage.h"

namespace vellumo::testing {
namespace {

constexpr wchar_t kShellFolders[] = L"Software\\Microsoft\\Windows\\CurrentVersion\\Explorer\\User Shell Folders";

std::wstring Backslashes(std::wstring path) {
  std::replace(path.begin(), path.end(), L'/', L'\\');
  return path;
}

struct FindArgs {
  DWORD pid;
  const wchar_t* title;
  HWND found;
};

BOOL CALLBACK FindDialog(HWND hwnd, LPARAM param) {
  auto* args = reinterpret_cast<FindArgs*>(param);
  DWORD pid = 0;
  GetWindowThreadProcessId(hwnd, &pid);
  if (pid != args->pid) return TRUE;
  wchar_t className[16] = {};
  GetClassNameW(hwnd, className, 16);
  if (std::wcscmp(className, L"#32770") != 0) return TRUE;
  if (GetText(hwnd) != args->title) return TRUE;
  args->found = hwnd;
  return FALSE;
}

HWND FindProcessDialog(DWORD pid, const std::wstring& title) {
  FindArgs args{pid, title.c_str(), nullptr};
  EnumWindows(&FindDialog, reinterpret_cast<LPARAM>(&args));
  return args.found;
}

// Memory inside the other process, for list view messages that carry pointers.
class RemoteBuffer {
 public:
  RemoteBuffer(HWND window, size_t size) : size_(size) {
    DWORD pid = 0;
    GetWindowThreadProcessId(window, &pid);
    process_ = OpenProcess(PROCESS_VM_OPERATION | PROCESS_VM_READ | PROCESS_VM_WRITE, FALSE, pid);
    address_ = VirtualAllocEx(process_, nullptr, size, MEM_COMMIT | MEM_RESERVE, PAGE_READWRITE);
  }
  ~RemoteBuffer() {
    VirtualFreeEx(process_, address_, 0, MEM_RELEASE);
    CloseHandle(process_);
  }
  char* address() const { return static_cast<char*>(address_); }
  void Write(size_t offset, const void* data, size_t length) {
    WriteProcessMemory(process_, address() + offset, data, length, nullptr);
  }
  void Read(size_t offset, void* data, size_t length) const {
    ReadProcessMemory(process_, address() + offset, data, length, nullptr);
  }

 private:
  HANDLE process_;
  void* address_;
  size_t size_;
};

}  // namespace

std::wstring VellumoExe() { return Backslashes(L"" VELLUMO_EXE); }

ScopedAppData::ScopedAppData() {
  static std::atomic<int> counter{0};
  root_ = std::filesystem::temp_directory_path() /
          (L"vellumo-e2e-" + std::to_wstring(GetCurrentProcessId()) + L"-" + std::to_wstring(counter++));
  std::filesystem::remove_all(root_);
  std::filesystem::create_directories(root_);
  HKEY key;
  if (RegOpenKeyExW(HKEY_CURRENT_USER, kShellFolders, 0, KEY_QUERY_VALUE | KEY_SET_VALUE, &key) != ERROR_SUCCESS) return;
  DWORD size = 0;
  if (RegQueryValueExW(key, L"AppData", nullptr, &oldType_, nullptr, &size) == ERROR_SUCCESS) {
    oldValue_.resize(size);
    hadValue_ = RegQueryValueExW(key, L"AppData", nullptr, &oldType_, oldValue_.data(), &size) == ERROR_SUCCESS;
  }
  std::wstring path = root_.wstring();
  RegSetValueExW(key, L"AppData", 0, REG_SZ, reinterpret_cast<const BYTE*>(path.c_str()),
                 static_cast<DWORD>((path.size() + 1) * sizeof(wchar_t)));
  RegCloseKey(key);
}

ScopedAppData::~ScopedAppData() {
  HKEY key;
  if (RegOpenKeyExW(HKEY_CURRENT_USER, kShellFolders, 0, KEY_SET_VALUE, &key) == ERROR_SUCCESS) {
    if (hadValue_)
      RegSetValueExW(key, L"AppData", 0, oldType_, oldValue_.data(), static_cast<DWORD>(oldValue_.size()));
    else
      RegDeleteValueW(key, L"AppData");
    RegCloseKey(key);
  }
  std::error_code ignored;
  std::filesystem::remove_all(root_, ignored);
}

VellumoProcess::VellumoProcess(const std::wstring& arguments, const std::wstring& program) {
  const std::wstring exe = Backslashes(program);
  std::wstring commandLine = L"\"" + exe + L"\"";
  if (!arguments.empty()) commandLine += L" " + arguments;
  STARTUPINFOW startup{};
  startup.cb = sizeof(startup);
  CreateProcessW(exe.c_str(), commandLine.data(), nullptr, nullptr, FALSE, 0, nullptr, nullptr, &startup, &info_);
}

VellumoProcess::~VellumoProcess() {
  if (info_.hProcess == nullptr) return;
  if (WaitForSingleObject(info_.hProcess, 0) == WAIT_TIMEOUT) {
    TerminateProcess(info_.hProcess, 1);
    WaitForSingleObject(info_.hProcess, 5000);
  }
  CloseHandle(info_.hThread);
  CloseHandle(info_.hProcess);
}

HWND VellumoProcess::WaitDialog(const std::wstring& title, DWORD timeoutMs) const {
  for (DWORD waited = 0;; waited += 50) {
    HWND dialog = FindProcessDialog(info_.dwProcessId, title);
    // Visible only once its initialisation has run.
    if (dialog != nullptr && IsWindowVisible(dialog)) {
      DWORD_PTR ignored;
      SendMessageTimeoutW(dialog, WM_NULL, 0, 0, SMTO_BLOCK, 5000, &ignored);
      return dialog;
    }
    if (waited >= timeoutMs || WaitForSingleObject(info_.hProcess, 50) == WAIT_OBJECT_0) return nullptr;
  }
}

std::wstring VellumoProcess::DismissBox(int button, DWORD timeoutMs, const std::wstring& caption) const {
  HWND box = WaitDialog(caption, timeoutMs);
  if (box == nullptr) return {};
  std::wstring text = GetText(GetDlgItem(box, 0xFFFF));
  PostMessageW(GetDlgItem(box, button), BM_CLICK, 0, 0);
  for (int i = 0; i < 200 && IsWindow(box); ++i) Sleep(25);
  return text;
}

bool VellumoProcess::WaitExit(DWORD timeoutMs) const {
  return info_.hProcess != nullptr && WaitForSingleObject(info_.hProcess, timeoutMs) == WAIT_OBJECT_0;
}

void Click(HWND dialog, int id) { PostMessageW(GetDlgItem(dialog, id), BM_CLICK, 0, 0); }

void SetText(HWND dialog, int id, const std::wstring& text) {
  SendMessageW(GetDlgItem(dialog, id), WM_SETTEXT, 0, reinterpret_cast<LPARAM>(text.c_str()));
}

std::wstring GetText(HWND window) {
  wchar_t text[1024] = {};
  SendMessageTimeoutW(window, WM_GETTEXT, 1024, reinterpret_cast<LPARAM>(text), SMTO_BLOCK, 5000, nullptr);
  return text;
}

bool IsChecked(HWND dialog, int id) {
  return SendMessageW(GetDlgItem(dialog, id), BM_GETCHECK, 0, 0) == BST_CHECKED;
}

bool IsVisible(HWND dialog, int id) { return IsWindowVisible(GetDlgItem(dialog, id)) != FALSE; }

void SelectComboEntry(HWND dialog, int id, int index) {
  SendMessageW(GetDlgItem(dialog, id), CB_SETCURSEL, static_cast<WPARAM>(index), 0);
}

int ComboCount(HWND dialog, int id) {
  return static_cast<int>(SendMessageW(GetDlgItem(dialog, id), CB_GETCOUNT, 0, 0));
}

int ListRowCount(HWND dialog, int id) {
  return static_cast<int>(SendMessageW(GetDlgItem(dialog, id), LVM_GETITEMCOUNT, 0, 0));
}

std::vector<std::vector<std::wstring>> ListRows(HWND dialog, int id, int columns) {
  HWND list = GetDlgItem(dialog, id);
  // Room for the longest path a list can hold, so a long row is read whole.
  constexpr size_t kChars = 32768;
  RemoteBuffer remote(list, sizeof(LVITEMW) + kChars * sizeof(wchar_t));
  std::vector<std::vector<std::wstring>> rows;
  int count = ListRowCount(dialog, id);
  for (int row = 0; row < count; ++row) {
    std::vector<std::wstring> cells;
    for (int column = 0; column < columns; ++column) {
      LVITEMW item{};
      item.iSubItem = column;
      item.pszText = reinterpret_cast<wchar_t*>(remote.address() + sizeof(LVITEMW));
      item.cchTextMax = kChars;
      remote.Write(0, &item, sizeof(item));
      LRESULT length = SendMessageW(list, LVM_GETITEMTEXTW, static_cast<WPARAM>(row),
                                    reinterpret_cast<LPARAM>(remote.address()));
      std::wstring text(static_cast<size_t>(length), L'\0');
      remote.Read(sizeof(LVITEMW), text.data(), text.size() * sizeof(wchar_t));
      cells.push_back(text);
    }
    rows.push_back(cells);
  }
  return rows;
}

int ProgressPosition(HWND dialog, int id) {
  return static_cast<int>(SendMessageW(GetDlgItem(dialog, id), PBM_GETPOS, 0, 0));
}

int ProgressEnd(HWND dialog, int id) {
  return static_cast<int>(SendMessageW(GetDlgItem(dialog, id), PBM_GETRANGE, FALSE, 0));
}

bool ChooseInFileDialog(const VellumoProcess& program, const std::wstring& title, const std::wstring& names) {
  HWND picker = program.WaitDialog(title);
  if (picker == nullptr) return false;
  SetText(picker, edt1, names);  // the file name box
  Click(picker, IDOK);
  for (int i = 0; i < 200 && IsWindow(picker); ++i) Sleep(25);
  return !IsWindow(picker);
}

void DropFiles(HWND window, const std::vector<std::wstring>& paths) {
  // A drop list as the shell makes one (DROPFILES, then wide paths, each ended
  // by a zero, and a closing zero), placed in the program's own memory: a
  // fixed block's address is its memory handle, so DragQueryFileW there reads
  // it like any drop.
  std::vector<wchar_t> names;
  for (const std::wstring& path : paths) {
    names.insert(names.end(), path.begin(), path.end());
    names.push_back(L'\0');
  }
  names.push_back(L'\0');
  DROPFILES header{};
  header.pFiles = sizeof(DROPFILES);
  header.fWide = TRUE;
  std::vector<char> block(sizeof header + names.size() * sizeof(wchar_t));
  std::memcpy(block.data(), &header, sizeof header);
  std::memcpy(block.data() + sizeof header, names.data(), names.size() * sizeof(wchar_t));
  DWORD pid = 0;
  GetWindowThreadProcessId(window, &pid);
  HANDLE process = OpenProcess(PROCESS_VM_OPERATION | PROCESS_VM_WRITE, FALSE, pid);
  // Not freed here: the program lets go of the drop itself (DragFinish).
  void* remote = VirtualAllocEx(process, nullptr, block.size(), MEM_COMMIT | MEM_RESERVE, PAGE_READWRITE);
  WriteProcessMemory(process, remote, block.data(), block.size(), nullptr);
  CloseHandle(process);
  PostMessageW(window, WM_DROPFILES, reinterpret_cast<WPARAM>(remote), 0);
}

void SelectListRow(HWND dialog, int id, int row) {
  HWND list = GetDlgItem(dialog, id);
  RemoteBuffer remote(list, sizeof(LVITEMW));
  LVITEMW item{};
  item.stateMask = LVIS_SELECTED | LVIS_FOCUSED;
  item.state = LVIS_SELECTED | LVIS_FOCUSED;
  remote.Write(0, &item, sizeof(item));
  SendMessageW(list, LVM_SETITEMSTATE, static_cast<WPARAM>(row), reinterpret_cast<LPARAM>(remote.address()));
}

void SeedKeys(const std::filesystem::path& database, const std::vector<KeyRow>& keys) {
  std::filesystem::create_directories(database.parent_path());
  sqlite3* db = nullptr;
  sqlite3_open16(database.c_str(), &db);
  // A file made by sqlite3_open16 would default to UTF-16 and convert the
  // ANSI bytes; the installed template is UTF-8 and keeps them as they are.
  sqlite3_exec(db, "pragma encoding = 'UTF-8'", nullptr, nullptr, nullptr);
  sqlite3_exec(db, "create table if not exists keylist (id integer, keyname text, keyvalue text, about text)",
               nullptr, nullptr, nullptr);
  for (const KeyRow& key : keys) {
    sqlite3_stmt* insert = nullptr;
    sqlite3_prepare_v2(db, "insert into keylist values (?, ?, ?, ?)", -1, &insert, nullptr);
    sqlite3_bind_int(insert, 1, key.id);
    const std::string texts[] = {ToAnsi(key.name), ToAnsi(key.value), ToAnsi(key.about)};
    for (int i = 0; i < 3; ++i)
      sqlite3_bind_text(insert, i + 2, texts[i].c_str(), static_cast<int>(texts[i].size()), SQLITE_TRANSIENT);
    sqlite3_step(insert);
    sqlite3_finalize(insert);
  }
  sqlite3_close(db);
}

std::vector<std::vector<std::string>> KeyTableBytes(const std::filesystem::path& database) {
  std::vector<std::vector<std::string>> rows;
  sqlite3* db = nullptr;
  if (sqlite3_open16(database.c_str(), &db) == SQLITE_OK) {
    sqlite3_stmt* select = nullptr;
    sqlite3_prepare_v2(db, "select * from keylist order by id", -1, &select, nullptr);
    while (select != nullptr && sqlite3_step(select) == SQLITE_ROW) {
      std::vector<std::string> row;
      for (int i = 0; i < 4; ++i) {
        const unsigned char* text = sqlite3_column_text(select, i);
        row.emplace_back(text != nullptr ? reinterpret_cast<const char*>(text) : "");
      }
      rows.push_back(row);
    }
    sqlite3_finalize(select);
  }
  sqlite3_close(db);
  return rows;
}

std::string ClipboardText() {
  std::string text;
  for (int attempt = 0; attempt < 100 && !OpenClipboard(nullptr); ++attempt) Sleep(20);
  if (HANDLE data = GetClipboardData(CF_TEXT)) {
    if (const char* bytes = static_cast<const char*>(GlobalLock(data))) {
      text.assign(bytes, strnlen(bytes, GlobalSize(data)));
      GlobalUnlock(data);
    }
  }
  CloseClipboard();
  return text;
}

void SetClipboardText(const std::string& ansi) { SetClipboardBlock(ansi + '\0'); }

namespace {

void SetClipboardBytes(UINT format, const void* bytes, size_t size) {
  // The clipboard keeps data only from an owner window.
  HWND owner = CreateWindowExW(0, L"STATIC", L"", 0, 0, 0, 0, 0, HWND_MESSAGE, nullptr, nullptr, nullptr);
  for (int attempt = 0; attempt < 100 && !OpenClipboard(owner); ++attempt) Sleep(20);
  EmptyClipboard();
  HGLOBAL memory = GlobalAlloc(GMEM_MOVEABLE, size);
  void* target = GlobalLock(memory);
  std::memcpy(target, bytes, size);
  GlobalUnlock(memory);
  SetClipboardData(format, memory);
  CloseClipboard();
  DestroyWindow(owner);
}

}  // namespace

void SetClipboardBlock(const std::string& block) { SetClipboardBytes(CF_TEXT, block.data(), block.size()); }

void SetUnicodeClipboardText(const std::wstring& text) {
  SetClipboardBytes(CF_UNICODETEXT, text.c_str(), (text.size() + 1) * sizeof(wchar_t));
}

std::wstring UnicodeClipboardText() {
  std::wstring text;
  for (int attempt = 0; attempt < 100 && !OpenClipboard(nullptr); ++attempt) Sleep(20);
  if (HANDLE data = GetClipboardData(CF_UNICODETEXT)) {
    if (const auto* chars = static_cast<const wchar_t*>(GlobalLock(data))) {
      text.assign(chars, wcsnlen(chars, GlobalSize(data) / sizeof(wchar_t)));
      GlobalUnlock(data);
    }
  }
  CloseClipboard();
  return text;
}

LocalHttpServer::LocalHttpServer(uint16_t port) : listener_(~uintptr_t{0}) {
  WSADATA wsa;
  WSAStartup(MAKEWORD(2, 2), &wsa);
  SOCKET listener = socket(AF_INET, SOCK_STREAM, IPPROTO_TCP);
  sockaddr_in address{};
  address.sin_family = AF_INET;
  address.sin_port = htons(port);
  address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
  // A run that ended a moment ago may still hold the port.
  for (int attempt = 0; attempt < 50; ++attempt) {
    if (bind(listener, reinterpret_cast<sockaddr*>(&address), sizeof(address)) == 0 && listen(listener, 8) == 0) {
      listener_ = listener;
      thread_ = std::thread([this] { Loop(); });
      return;
    }
    Sleep(100);
  }
  closesocket(listener);
}

LocalHttpServer::~LocalHttpServer() {
  if (!listening()) return;
  closesocket(static_cast<SOCKET>(listener_));
  thread_.join();
  WSACleanup();
}

void LocalHttpServer::Serve(const std::string& path, std::string body) {
  std::lock_guard<std::mutex> lock(mutex_);
  files_[path] = std::move(body);
}

std::vector<std::string> LocalHttpServer::Requests() {
  std::lock_guard<std::mutex> lock(mutex_);
  return requests_;
}

void LocalHttpServer::Loop() {
  for (;;) {
    SOCKET client = accept(static_cast<SOCKET>(listener_), nullptr, nullptr);
    if (client == INVALID_SOCKET) return;  // closed by the destructor
    std::string request;
    char buffer[4096];
    while (request.find("\r\n\r\n") == std::string::npos) {
      int received = recv(client, buffer, sizeof(buffer), 0);
      if (received <= 0) break;
      request.append(buffer, static_cast<size_t>(received));
    }
    std::string path;
    size_t start = request.find(' ');
    if (start != std::string::npos) path = request.substr(start + 1, request.find(' ', start + 1) - start - 1);
    std::string response;
    {
      std::lock_guard<std::mutex> lock(mutex_);
      requests_.push_back(path);
      auto file = files_.find(path);
      if (file != files_.end())
        response = "HTTP/1.0 200 OK\r\nContent-Type: application/octet-stream\r\nContent-Length: " +
                   std::to_string(file->second.size()) + "\r\nConnection: close\r\n\r\n" + file->second;
      else
        response = "HTTP/1.0 404 Not Found\r\nContent-Length: 0\r\nConnection: close\r\n\r\n";
    }
    for (size_t sent = 0; sent < response.size();) {
      int n = send(client, response.data() + sent, static_cast<int>(response.size() - sent), 0);
      if (n <= 0) break;
      sent += static_cast<size_t>(n);
    }
    shutdown(client, SD_SEND);
    closesocket(client);
  }
}

}  // namespace vellumo::testing
