#pragma once
// The command line: which command, its options and its arguments. Commands
// and options are rows of two tables (options.cpp), so a new option or
// command is a new row, not a new branch of the parser.
#include <optional>
#include <string>
#include <vector>

#include "cli/messages.h"
#include "crypto/cipher_algorithm.h"
#include "fileenc/file_format.h"

namespace vellumo::cli {

enum class Command {
  kNone,
  kEncrypt,
  kDecrypt,
  kUpgrade,
  kClipEncrypt,
  kClipDecrypt,
  kKeys,
  kKeysAdd,
  kKeysRemove,
  kKeysRename,
};

struct Options {
  Command command = Command::kNone;
  bool help = false;
  bool version = false;
  // The key: at most one source; none means asking on the terminal.
  std::optional<std::wstring> key;
  bool keyStdin = false;
  std::optional<std::wstring> keyFile;
  std::optional<std::wstring> keyName;
  std::optional<std::wstring> database;
  std::optional<std::wstring> note;
  bool showKeys = false;
  bool pack = false;
  // What encryption writes: the sealed format unless --cipher names a legacy
  // cipher (encrypt) or --legacy asks for the legacy text (clip-encrypt).
  FileFormat format = FileFormat::kSealed;
  CipherAlgorithm algorithm = kAes;  // the legacy cipher
  unsigned codePage;  // kThreadAnsiCodePage unless --codepage says
  bool skipDone = false;
  bool raw = false;
  bool json = false;
  bool progress = false;
  bool quiet = false;
  bool verbose = false;
  // What follows the command: paths, or the key names of a keys command.
  std::vector<std::wstring> arguments;

  Options();
  bool runsFiles() const {
    return command == Command::kEncrypt || command == Command::kDecrypt || command == Command::kUpgrade;
  }
  bool runsClipboard() const { return command == Command::kClipEncrypt || command == Command::kClipDecrypt; }
  bool usesKeys() const;
};

// A mistake in the command line: what to tell the user (one line).
struct UsageError {
  Msg message;
  std::vector<std::wstring> args;
};

// args: the command line without the program's name. Throws UsageError.
// "--help" (also "-h", and "/?" on Windows) and "--version" set their flags
// whatever else is wrong, so that asking for help always works.
Options ParseCommandLine(const std::vector<std::wstring>& args);

// The one-line synopsis of a command, e.g. "keys rename OLD NEW".
std::wstring Synopsis(Command command);
// A command's name as typed: "encrypt", "keys add".
std::wstring CommandName(Command command);

}  // namespace vellumo::cli
