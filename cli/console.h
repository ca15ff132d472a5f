#pragma once
// What the command line needs from the platform: the standard streams in the
// terminal's encoding, a key prompt without echo, the user's language, Ctrl-C,
// full paths and the default key database. One implementation file per
// platform: console_posix.cpp, console_win32.cpp.
#include <optional>
#include <string>

#include "cli/messages.h"
#include "fileenc/file_engine.h"
#include "platform/status.h"

namespace vellumo::cli {

enum class Stream { kOut, kErr };

// Binary standard streams (no newline translation); notes the terminal's
// encoding.
void InitStreams();
bool IsTerminal(Stream stream);
// Columns of the terminal behind `stream`; 0 when unknown.
size_t TerminalColumns(Stream stream);

// Text for people. POSIX: in the locale's encoding (UTF-8 unless the locale
// names another). Windows: a console gets the characters themselves; a file
// or pipe gets the console's output code page (the OEM code page when there
// is no console), so that "type" shows it as it was. False when not all of it
// could be written.
bool WriteText(Stream stream, const std::wstring& text);
// Bytes as they are; false when not all could be written.
bool WriteBytes(Stream stream, const std::string& bytes);

// Decodes text that came from a terminal, a pipe or a file: the locale's
// encoding on POSIX, UTF-8 on Windows. False when `bytes` is not well formed
// in it (the caller then takes them to be in the ANSI code page already).
bool DecodeTerminalText(const std::string& bytes, std::wstring& text);
// The first line of standard input without its CR/LF, reading no further, so
// that the rest stays for ReadAllInput. Bytes that DecodeTerminalText does not
// take are read in `codePage`. Nothing when standard input is at its end or
// unreadable.
std::optional<std::wstring> ReadInputLine(unsigned codePage);
// The rest of standard input; nothing on a read error.
std::optional<std::string> ReadAllInput();
// The bytes of a small file (a key file); `why` says what went wrong.
std::optional<std::string> ReadSmallFile(const std::wstring& path, Status& why);
// Asks on the terminal (even when standard input is redirected), without
// echo. Nothing when there is no terminal.
std::optional<std::wstring> PromptHidden(const std::wstring& prompt);

// The user's language: LC_ALL, LC_MESSAGES or LANG on POSIX (the first that
// is set), the user's UI language on Windows.
Language UserLanguage();
// The number of the code page that `codePage` stands for (936 for the
// default on POSIX, the system's on Windows), for messages.
unsigned CodePageNumber(unsigned codePage);

// From now on the first Ctrl-C (or SIGTERM) sets `flag`, so that the run
// stops between two buffers; a second one ends the program at once.
void StopOnInterrupt(CancelFlag* flag);
// The exit status of a run stopped that way: 128 + the signal (130 for Ctrl-C).
int InterruptedExitStatus();

// An absolute path with "." and ".." resolved, single separators and no
// trailing separator, so that packed names and messages carry full paths.
std::wstring FullPath(const std::wstring& path);
// The user's key database: %APPDATA%\zentrik_quen\docset.dat on Windows,
// $XDG_CONFIG_HOME/vellumo/docset.dat (or ~/.config/vellumo/...) on POSIX.
// Empty when the folder cannot be found.
std::wstring DefaultDatabasePath();
// Creates the folders a new key database goes into; on POSIX a new folder is
// the user's alone (the database holds key texts in clear).
bool MakeDatabaseFolder(const std::wstring& databasePath);

}  // namespace vellumo::cli
