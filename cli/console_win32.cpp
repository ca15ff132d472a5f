#include <windows.h>
#include <fcntl.h>
#include <io.h>
#include <shlobj.h>

#include <cstdio>
#include <vector>

#include "cli/console.h"
#include "crypto/utf8.h"
#include "crypto/ansi_codepage.h"
#include "keystore/key_store.h"

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

}  // namespace

void InitStreams() {
  _setmode(_fileno(stdin), _O_BINARY);
  _setmode(_fileno(stdout), _O_BINARY);
}

bool IsTerminal(Stream stream) { return IsConsole(Handle(stream)); }

void WriteText(Stream stream, const std::wstring& text) {
  const HANDLE handle = Handle(stream);
  if (IsConsole(handle)) {
    DWORD written;
    WriteConsoleW(handle, text.data(), static_cast<DWORD>(text.size()), &written, nullptr);
  } else {
    const std::string bytes = ToUtf8(text);
    WriteAll(handle, bytes.data(), bytes.size());
  }
}

bool WriteBytes(Stream stream, const std::string& bytes) { return WriteAll(Handle(stream), bytes.data(), bytes.size()); }

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
  if (!FromUtf8(line, text)) text = FromAnsi(line, codePage);
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

std::optional<std::wstring> PromptHidden(const std::wstring& prompt) {
  const HANDLE input = CreateFileW(L"CONIN$", GENERIC_READ | GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_WRITE,
                                   nullptr, OPEN_EXISTING, 0, nullptr);
  if (input == INVALID_HANDLE_VALUE) return std::nullopt;
  const HANDLE output = CreateFileW(L"CONOUT$", GENERIC_READ | GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_WRITE,
                                    nullptr, OPEN_EXISTING, 0, nullptr);
  DWORD written;
  if (output != INVALID_HANDLE_VALUE) WriteConsoleW(output, prompt.data(), static_cast<DWORD>(prompt.size()), &written, nullptr);
  DWORD mode = 0;
  const bool haveMode = GetConsoleMode(input, &mode);
  if (haveMode) SetConsoleMode(input, (mode & ~ENABLE_ECHO_INPUT) | ENABLE_LINE_INPUT | ENABLE_PROCESSED_INPUT);
  auto line = ReadConsoleLine(input);
  if (haveMode) SetConsoleMode(input, mode);
  if (output != INVALID_HANDLE_VALUE) {
    WriteConsoleW(output, L"\r\n", 2, &written, nullptr);
    CloseHandle(output);
  }
  CloseHandle(input);
  return line;
}

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

}  // namespace vellumo::cli
