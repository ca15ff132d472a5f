#include <windows.h>
#include <fcntl.h>
#include <io.h>
#include <shlobj.h>

#include <cstdio>
#include <vector>

#include "cli/console.h"
#include "crypto/ansi_codepage.h"
#include "crypto/utf8.h"
#include "keystore/key_store.h"
#include "platform/file_system.h"
#include "platform/owners_win32.h"

namespace vellumo::cli {
namespace {

HANDLE Handle(Stream stream) { return GetStdHandle(stream == Stream::kOut ? STD_OUTPUT_HANDLE : STD_ERROR_HANDLE); }

bool IsConsole(HANDLE handle) {
  DWORD mode;
  return handle != INVALID_HANDLE_VALUE && handle != nullptr && GetConsoleMode(handle, &mode);
}

bool WriteAll(HANDLE handle, const char* data, size_t length) {
  while (length > 0) {
    const DWORD chunk = length > 0x10000000 ? 0x10000000 : static_cast<DWORD>(length);
    DWORD written = 0;
    if (!WriteFile(handle, data, chunk, &written, nullptr) || written == 0) return false;
    data += written;
    length -= written;
  }
  return true;
}

// What "type" reads a file in: the console's output code page, or where there
// is no console, the OEM code page a new console starts with.
unsigned RedirectedCodePage() {
  const UINT console = GetConsoleOutputCP();
  return console != 0 ? console : GetOEMCP();
}

// One line from a console, typed in place; its CR/LF dropped.
std::optional<std::wstring> ReadConsoleLine(HANDLE input) {
  std::wstring line;
  for (;;) {
    wchar_t c;
    DWORD read = 0;
    if (!ReadConsoleW(input, &c, 1, &read, nullptr)) return std::nullopt;
    if (read == 0 || c == L'\n') break;
    if (c == 0x1A && line.empty()) return std::nullopt;  // Ctrl-Z: end of input
    line += c;
  }
  if (!line.empty() && line.back() == L'\r') line.pop_back();
  return line;
}

CancelFlag* g_cancel = nullptr;
volatile LONG g_interrupted = 0;

BOOL WINAPI OnInterrupt(DWORD event) {
  if (event != CTRL_C_EVENT && event != CTRL_BREAK_EVENT) return FALSE;
  // The second time the default handler ends the program.
  if (InterlockedExchange(&g_interrupted, 1) != 0) return FALSE;
  g_cancel->store(true);
  return TRUE;
}

}  // namespace

void InitStreams() {
  _setmode(_fileno(stdin), _O_BINARY);
  _setmode(_fileno(stdout), _O_BINARY);
}

bool IsTerminal(Stream stream) { return IsConsole(Handle(stream)); }

size_t TerminalColumns(Stream stream) {
  CONSOLE_SCREEN_BUFFER_INFO info;
  if (!GetConsoleScreenBufferInfo(Handle(stream), &info)) return 0;
  return static_cast<size_t>(info.srWindow.Right - info.srWindow.Left + 1);
}

bool WriteText(Stream stream, const std::wstring& text) {
  const HANDLE handle = Handle(stream);
  if (IsConsole(handle)) {
    DWORD written = 0;
    return WriteConsoleW(handle, text.data(), static_cast<DWORD>(text.size()), &written, nullptr) &&
           written == text.size();
  }
  const std::string bytes = ToAnsi(text, RedirectedCodePage());
  return WriteAll(handle, bytes.data(), bytes.size());
}

bool WriteBytes(Stream stream, const std::string& bytes) { return WriteAll(Handle(stream), bytes.data(), bytes.size()); }

bool DecodeTerminalText(const std::string& bytes, std::wstring& text) { return FromUtf8(bytes, text); }

std::optional<std::wstring> ReadInputLine(unsigned codePage) {
  const HANDLE input = GetStdHandle(STD_INPUT_HANDLE);
  if (IsConsole(input)) return ReadConsoleLine(input);
  // Byte by byte, so nothing after the line is consumed.
  std::string line;
  bool any = false;
  for (;;) {
    char c;
    DWORD read = 0;
    if (!ReadFile(input, &c, 1, &read, nullptr)) {
      if (GetLastError() != ERROR_BROKEN_PIPE) return std::nullopt;
      break;
    }
    if (read == 0) break;
    any = true;
    if (c == '\n') break;
    line += c;
  }
  if (!any) return std::nullopt;
  if (!line.empty() && line.back() == '\r') line.pop_back();
  std::wstring text;
  if (!DecodeTerminalText(line, text)) text = FromAnsi(line, codePage);
  return text;
}

std::optional<std::string> ReadAllInput() {
  const HANDLE input = GetStdHandle(STD_INPUT_HANDLE);
  std::string data;
  std::vector<char> buffer(1 << 16);
  for (;;) {
    DWORD read = 0;
    if (!ReadFile(input, buffer.data(), static_cast<DWORD>(buffer.size()), &read, nullptr)) {
      if (GetLastError() == ERROR_BROKEN_PIPE) return data;
      return std::nullopt;
    }
    if (read == 0) return data;
    data.append(buffer.data(), read);
  }
}

std::optional<std::string> ReadSmallFile(const std::wstring& path, Status& why) {
  UniqueFile file(CreateFileW(path.c_str(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr, OPEN_EXISTING,
                              FILE_ATTRIBUTE_NORMAL, nullptr));
  if (!file) {
    why = Status::LastOsError();
    return std::nullopt;
  }
  std::string data;
  char buffer[4096];
  for (;;) {
    DWORD read = 0;
    if (!ReadFile(file.get(), buffer, sizeof buffer, &read, nullptr)) {
      why = Status::LastOsError();
      return std::nullopt;
    }
    if (read == 0) return data;
    data.append(buffer, read);
  }
}

std::optional<std::wstring> PromptHidden(const std::wstring& prompt) {
  UniqueFile input(CreateFileW(L"CONIN$", GENERIC_READ | GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr,
                               OPEN_EXISTING, 0, nullptr));
  if (!input) return std::nullopt;
  UniqueFile output(CreateFileW(L"CONOUT$", GENERIC_READ | GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr,
                                OPEN_EXISTING, 0, nullptr));
  // Echo off before the prompt shows, so that nothing typed after it is echoed.
  DWORD mode = 0;
  const bool haveMode = GetConsoleMode(input.get(), &mode);
  if (haveMode) SetConsoleMode(input.get(), (mode & ~ENABLE_ECHO_INPUT) | ENABLE_LINE_INPUT | ENABLE_PROCESSED_INPUT);
  DWORD written;
  if (output) WriteConsoleW(output.get(), prompt.data(), static_cast<DWORD>(prompt.size()), &written, nullptr);
  auto line = ReadConsoleLine(input.get());
  if (haveMode) SetConsoleMode(input.get(), mode);
  if (output) WriteConsoleW(output.get(), L"\r\n", 2, &written, nullptr);
  return line;
}

Language UserLanguage() {
  return PRIMARYLANGID(GetUserDefaultUILanguage()) == LANG_CHINESE ? Language::kChinese : Language::kEnglish;
}

unsigned CodePageNumber(unsigned codePage) {
  return codePage == kSystemAnsiCodePage || codePage == kThreadAnsiCodePage ? GetACP() : codePage;
}

void StopOnInterrupt(CancelFlag* flag) {
  g_cancel = flag;
  SetConsoleCtrlHandler(OnInterrupt, TRUE);
}

int InterruptedExitStatus() { return 130; }

std::wstring FullPath(const std::wstring& path) {
  const DWORD needed = GetFullPathNameW(path.c_str(), 0, nullptr, nullptr);
  if (needed == 0) return path;
  std::wstring full(needed, L'\0');
  const DWORD length = GetFullPathNameW(path.c_str(), needed, &full[0], nullptr);
  if (length == 0 || length >= needed) return path;
  full.resize(length);
  // Keep "C:\" whole; elsewhere a trailing backslash would end up inside
  // packed names ("dir\.szip").
  while (full.size() > 3 && full.back() == L'\\') full.pop_back();
  return full;
}

std::wstring DefaultDatabasePath() {
  wchar_t folder[MAX_PATH] = {};
  if (FAILED(SHGetFolderPathW(nullptr, CSIDL_APPDATA, nullptr, SHGFP_TYPE_CURRENT, folder))) return {};
  return std::wstring(folder) + L"\\zentrik_quen\\" + kKeyDatabaseFileName;
}

bool MakeDatabaseFolder(const std::wstring& databasePath) { return CreateFolders(ParentFolder(databasePath)); }

}  // namespace vellumo::cli
