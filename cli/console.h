#pragma once
// What the command line needs from the platform: the standard streams (console
// aware on Windows), a key prompt without echo, full paths and the default key
// database. One implementation file per platform: console_posix.cpp,
// console_win32.cpp.
#include <optional>
#include <string>

namespace vellumo::cli {

enum class Stream { kOut, kErr };

// Puts stdin and stdout in binary mode (no newline translation).
void InitStreams();
bool IsTerminal(Stream stream);
// Text for people: UTF-8 bytes, or the console's own wide output on Windows.
void WriteText(Stream stream, const std::wstring& text);
// Bytes as they are; false when not all could be written.
bool WriteBytes(Stream stream, const std::string& bytes);

// The first line of standard input without its CR/LF, reading no further, so
// that the rest stays for ReadAllInput. Bytes that are not UTF-8 are read in
// `codePage`. Nothing when standard input is at its end or unreadable.
std::optional<std::wstring> ReadInputLine(unsigned codePage);
// The rest of standard input; nothing on a read error.
std::optional<std::string> ReadAllInput();
// Asks on the terminal (even when standard input is redirected), without
// echo. Nothing when there is no terminal.
std::optional<std::wstring> PromptHidden(const std::wstring& prompt);

// An absolute path with "." and ".." resolved, single separators and no
// trailing separator, so that packed names and messages carry full paths.
std::wstring FullPath(const std::wstring& path);
// The user's key database: %APPDATA%\zentrik_quen\docset.dat on Windows,
// $XDG_CONFIG_HOME/vellumo/docset.dat (or ~/.config/vellumo/...) on POSIX.
// Empty when the folder cannot be found.
std::wstring DefaultDatabasePath();

}  // namespace vellumo::cli
