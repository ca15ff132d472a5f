#include "cli/options.h"

#include <cstdint>

#include "crypto/ansi_codepage.h"

namespace vellumo::cli {
namespace {

using Mask = unsigned;
constexpr Mask Bit(Command command) { return 1u << static_cast<unsigned>(command); }
constexpr Mask kFiles = Bit(Command::kEncrypt) | Bit(Command::kDecrypt) | Bit(Command::kUpgrade);
constexpr Mask kClipboard = Bit(Command::kClipEncrypt) | Bit(Command::kClipDecrypt);
constexpr Mask kKeyCommands =
    Bit(Command::kKeys) | Bit(Command::kKeysAdd) | Bit(Command::kKeysRemove) | Bit(Command::kKeysRename);
constexpr Mask kTakesKey = kFiles | kClipboard | Bit(Command::kKeysAdd);
constexpr Mask kAny = ~0u;

struct CommandRow {
  const wchar_t* name;  // as typed; a keys command is two words
  Command command;
  size_t minArguments, maxArguments;
  const wchar_t* synopsis;
};

const CommandRow kCommands[] = {
    {L"encrypt", Command::kEncrypt, 1, SIZE_MAX,
     L"encrypt [--cipher sealed|aes|des|rc4] [--pack] [--skip-done] KEY PATH..."},
    {L"decrypt", Command::kDecrypt, 1, SIZE_MAX, L"decrypt [--skip-done] KEY PATH..."},
    {L"upgrade", Command::kUpgrade, 1, SIZE_MAX, L"upgrade [--skip-done] KEY PATH..."},
    {L"clip-encrypt", Command::kClipEncrypt, 0, 0, L"clip-encrypt [--legacy] [--raw] KEY < TEXT > CIPHER-TEXT"},
    {L"clip-decrypt", Command::kClipDecrypt, 0, 0, L"clip-decrypt [--raw] KEY < CIPHER-TEXT > TEXT"},
    {L"keys", Command::kKeys, 0, 0, L"keys [--show-keys] [--json] [--db FILE]"},
    {L"keys list", Command::kKeys, 0, 0, L"keys [--show-keys] [--json] [--db FILE]"},
    {L"keys add", Command::kKeysAdd, 1, 1, L"keys add NAME [--note TEXT] [--key-stdin | --key-file FILE] [--db FILE]"},
    {L"keys remove", Command::kKeysRemove, 1, 1, L"keys remove NAME [--db FILE]"},
    {L"keys rename", Command::kKeysRename, 2, 2, L"keys rename OLD NEW [--db FILE]"},
};

// Values that need checking throw UsageError from here.
void ParseCipher(Options& options, const std::wstring& name) {
  if (name == L"sealed") {
    options.format = FileFormat::kSealed;
    return;
  }
  options.format = FileFormat::kLegacy;
  if (name == L"aes") {
    options.algorithm = kAes;
  } else if (name == L"des") {
    options.algorithm = kDes;
  } else if (name == L"rc4") {
    options.algorithm = kRc4;
  } else {
    throw UsageError{Msg::kUnknownCipher, {name}};
  }
}

unsigned ParseCodePage(const std::wstring& text) {
  unsigned value = 0;
  bool digits = !text.empty() && text.size() <= 5;
  for (wchar_t c : text) {
    digits = digits && c >= L'0' && c <= L'9';
    if (digits) value = value * 10 + static_cast<unsigned>(c - L'0');
  }
  if (!digits || value == 0 || value > 65535 || !IsKnownCodePage(value)) throw UsageError{Msg::kUnknownCodePage, {text}};
  return value;
}

struct OptionRow {
  const wchar_t* name;  // without "--"
  wchar_t letter;       // the short form, or 0
  bool takesValue;
  Mask commands;  // where it may be given
  void (*apply)(Options& options, const std::wstring& value);
};

const OptionRow kOptionRows[] = {
    {L"help", L'h', false, kAny, [](Options& o, const std::wstring&) { o.help = true; }},
    {L"version", 0, false, kAny, [](Options& o, const std::wstring&) { o.version = true; }},
    {L"quiet", L'q', false, kAny, [](Options& o, const std::wstring&) { o.quiet = true; }},
    {L"verbose", L'v', false, kAny, [](Options& o, const std::wstring&) { o.verbose = true; }},
    {L"key", 0, true, kTakesKey, [](Options& o, const std::wstring& v) { o.key = v; }},
    {L"key-stdin", 0, false, kTakesKey, [](Options& o, const std::wstring&) { o.keyStdin = true; }},
    {L"key-file", 0, true, kTakesKey, [](Options& o, const std::wstring& v) { o.keyFile = v; }},
    {L"key-name", 0, true, kFiles | kClipboard, [](Options& o, const std::wstring& v) { o.keyName = v; }},
    {L"db", 0, true, kFiles | kClipboard | kKeyCommands, [](Options& o, const std::wstring& v) { o.database = v; }},
    {L"codepage", 0, true, kAny, [](Options& o, const std::wstring& v) { o.codePage = ParseCodePage(v); }},
    {L"cipher", 0, true, Bit(Command::kEncrypt), ParseCipher},
    {L"legacy", 0, false, Bit(Command::kClipEncrypt),
     [](Options& o, const std::wstring&) { o.format = FileFormat::kLegacy; }},
    {L"pack", L'p', false, Bit(Command::kEncrypt), [](Options& o, const std::wstring&) { o.pack = true; }},
    {L"skip-done", 0, false, kFiles, [](Options& o, const std::wstring&) { o.skipDone = true; }},
    {L"progress", 0, false, kFiles, [](Options& o, const std::wstring&) { o.progress = true; }},
    {L"json", 0, false, kFiles | Bit(Command::kKeys), [](Options& o, const std::wstring&) { o.json = true; }},
    {L"raw", 0, false, kClipboard, [](Options& o, const std::wstring&) { o.raw = true; }},
    {L"show-keys", 0, false, Bit(Command::kKeys), [](Options& o, const std::wstring&) { o.showKeys = true; }},
    {L"note", 0, true, Bit(Command::kKeysAdd), [](Options& o, const std::wstring& v) { o.note = v; }},
};

const OptionRow* FindLong(const std::wstring& name) {
  for (const OptionRow& row : kOptionRows) {
    if (name == row.name) return &row;
  }
  return nullptr;
}

const OptionRow* FindLetter(wchar_t letter) {
  for (const OptionRow& row : kOptionRows) {
    if (row.letter != 0 && row.letter == letter) return &row;
  }
  return nullptr;
}

bool AsksForHelp(const std::wstring& arg) {
#ifdef _WIN32
  if (arg == L"/?") return true;
#endif
  return arg == L"--help" || arg == L"-h";
}

struct Given {
  const OptionRow* row;
  std::wstring spelled;  // as the user wrote it, for messages
  std::wstring value;
};

}  // namespace

Options::Options() : codePage(kThreadAnsiCodePage) {}

bool Options::usesKeys() const { return (Bit(command) & kKeyCommands) != 0; }

std::wstring CommandName(Command command) {
  for (const CommandRow& row : kCommands) {
    if (row.command == command) return row.name;
  }
  return {};
}

std::wstring Synopsis(Command command) {
  for (const CommandRow& row : kCommands) {
    if (row.command == command) return row.synopsis;
  }
  return {};
}

Options ParseCommandLine(const std::vector<std::wstring>& args) {
  Options options;
  // Help and the version first: they are answered even on a command line
  // that is wrong otherwise.
  for (const std::wstring& arg : args) {
    if (arg == L"--") break;
    if (AsksForHelp(arg)) options.help = true;
    if (arg == L"--version") options.version = true;
  }
  if (options.help || options.version) return options;

  std::vector<Given> given;
  std::vector<std::wstring> words;
  bool optionsEnd = false;
  for (size_t i = 0; i < args.size(); ++i) {
    const std::wstring& arg = args[i];
    if (optionsEnd || arg.empty() || arg[0] != L'-') {
      words.push_back(arg);
    } else if (arg == L"--") {
      optionsEnd = true;
    } else if (arg.compare(0, 2, L"--") == 0) {
      const size_t equals = arg.find(L'=');
      const std::wstring spelled = arg.substr(0, equals);
      const OptionRow* row = FindLong(spelled.substr(2));
      if (!row) throw UsageError{Msg::kUnknownOption, {spelled}};
      if (!row->takesValue && equals != std::wstring::npos) throw UsageError{Msg::kTakesNoValue, {spelled}};
      std::wstring value;
      if (row->takesValue) {
        if (equals != std::wstring::npos) {
          value = arg.substr(equals + 1);
        } else if (i + 1 < args.size()) {
          value = args[++i];
        } else {
          throw UsageError{Msg::kNeedsValue, {spelled}};
        }
      }
      given.push_back({row, spelled, value});
    } else {
      // Short flags, alone or together ("-qp"); "-" alone is no option.
      if (arg.size() == 1) throw UsageError{Msg::kUnknownOption, {arg}};
      for (size_t k = 1; k < arg.size(); ++k) {
        const OptionRow* row = FindLetter(arg[k]);
        const std::wstring spelled = std::wstring(L"-") + arg[k];
        if (!row || row->takesValue) throw UsageError{Msg::kUnknownOption, {spelled}};
        given.push_back({row, spelled, {}});
      }
    }
  }

  if (words.empty()) throw UsageError{Msg::kNoCommand, {}};
  const CommandRow* command = nullptr;
  size_t used = 1;
  for (const CommandRow& row : kCommands) {
    const std::wstring name = row.name;
    const size_t space = name.find(L' ');
    if (space == std::wstring::npos) {
      if (!command && name == words[0]) command = &row;
    } else if (words.size() > 1 && name.substr(0, space) == words[0] && name.substr(space + 1) == words[1]) {
      command = &row;
      used = 2;
    }
  }
  if (!command) throw UsageError{Msg::kUnknownCommand, {words[0]}};
  options.command = command->command;
  options.arguments.assign(words.begin() + static_cast<std::ptrdiff_t>(used), words.end());
  if (options.arguments.size() > command->maxArguments) {
    throw UsageError{Msg::kUnexpectedArgument, {options.arguments[command->maxArguments]}};
  }
  if (options.arguments.size() < command->minArguments) {
    if (options.runsFiles()) throw UsageError{Msg::kNoPath, {}};
    throw UsageError{Msg::kCommandUsage, {command->synopsis}};
  }

  for (size_t i = 0; i < given.size(); ++i) {
    const Given& g = given[i];
    if (!(g.row->commands & Bit(options.command))) {
      throw UsageError{Msg::kNotWithCommand, {g.spelled, CommandName(options.command)}};
    }
    for (size_t j = 0; j < i; ++j) {
      if (given[j].row == g.row) throw UsageError{Msg::kGivenTwice, {g.spelled}};
    }
    g.row->apply(options, g.value);
  }
  const int keySources = (options.key ? 1 : 0) + (options.keyStdin ? 1 : 0) + (options.keyFile ? 1 : 0) +
                         (options.keyName ? 1 : 0);
  if (keySources > 1) throw UsageError{Msg::kOneKeySource, {}};
  if (options.database && !options.usesKeys() && !options.keyName) throw UsageError{Msg::kDbWithoutKeyName, {}};
  return options;
}

}  // namespace vellumo::cli
