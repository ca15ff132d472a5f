#include "cli/cli.h"

#include <optional>

#include "cli/cli_reporter.h"
#include "cli/console.h"
#include "cli/key_list.h"
#include "clipboard/clip_codec.h"
#include "crypto/ansi_codepage.h"
#include "crypto/key_block.h"
#include "crypto/cipher_algorithm.h"
#include "fileenc/file_engine.h"

namespace vellumo::cli {
namespace {

const wchar_t kUsage[] =
    L"usage:\n"
    L"  vellumo-cli encrypt [--cipher aes|des|rc4] [--pack] KEY PATH...\n"
    L"  vellumo-cli decrypt KEY PATH...\n"
    L"  vellumo-cli clip-encrypt KEY < text > cipher-text\n"
    L"  vellumo-cli clip-decrypt KEY < cipher-text > text\n"
    L"  vellumo-cli keys [--db PATH] [--show-keys]\n"
    L"\n"
    L"KEY is one of\n"
    L"  --key TEXT           the key text\n"
    L"  --key-stdin          the first line of standard input\n"
    L"  --key-name NAME      a key of the key database (--db PATH to name another one)\n"
    L"  and is asked for on the terminal when none is given.\n"
    L"\n"
    L"  --codepage N         ANSI code page of key texts, the key database and ZIP entry\n"
    L"                       names (default: 936 on Linux, the system's on Windows)\n"
    L"\n"
    L"Folders are treated with everything below them; --pack packs all PATHs into one\n"
    L"encrypted .szip file named after the first. The clipboard commands read the\n"
    L"clipboard block from standard input and write the new one to standard output.\n"
    L"Exit status: 0 done, 1 something was refused or failed, 2 wrong command line.\n";

enum class Command { kEncrypt, kDecrypt, kClipEncrypt, kClipDecrypt, kKeys };

struct Options {
  Command command = Command::kEncrypt;
  std::optional<std::wstring> key;
  bool keyStdin = false;
  std::optional<std::wstring> keyName;
  std::optional<std::wstring> database;
  bool showKeys = false;
  bool pack = false;
  std::optional<CipherAlgorithm> algorithm;
  unsigned codePage = kThreadAnsiCodePage;
  std::vector<std::wstring> paths;
};

struct UsageError {
  std::wstring message;
};

void Say(const std::wstring& text) { WriteText(Stream::kErr, L"vellumo-cli: " + text + L"\n"); }

int Usage(const std::wstring& message) {
  Say(message);
  WriteText(Stream::kErr, kUsage);
  return kExitUsage;
}

bool ParseCodePage(const std::wstring& text, unsigned& codePage) {
  if (text.empty() || text.size() > 5) return false;
  unsigned value = 0;
  for (wchar_t c : text) {
    if (c < L'0' || c > L'9') return false;
    value = value * 10 + static_cast<unsigned>(c - L'0');
  }
  if (value == 0 || value > 65535) return false;
  codePage = value;
  return true;
}

// Throws UsageError.
Options Parse(const std::vector<std::wstring>& args) {
  if (args.empty()) throw UsageError{L"no command given"};
  Options options;
  const std::wstring& command = args[0];
  if (command == L"encrypt") options.command = Command::kEncrypt;
  else if (command == L"decrypt") options.command = Command::kDecrypt;
  else if (command == L"clip-encrypt") options.command = Command::kClipEncrypt;
  else if (command == L"clip-decrypt") options.command = Command::kClipDecrypt;
  else if (command == L"keys") options.command = Command::kKeys;
  else throw UsageError{L"unknown command \"" + command + L"\""};

  bool optionsEnd = false;
  for (size_t i = 1; i < args.size(); ++i) {
    const std::wstring& arg = args[i];
    if (optionsEnd || arg.size() < 2 || arg.compare(0, 2, L"--") != 0) {
      options.paths.push_back(arg);
      continue;
    }
    auto value = [&]() -> const std::wstring& {
      if (i + 1 >= args.size()) throw UsageError{arg + L" needs a value"};
      return args[++i];
    };
    if (arg == L"--") {
      optionsEnd = true;
    } else if (arg == L"--key") {
      options.key = value();
    } else if (arg == L"--key-stdin") {
      options.keyStdin = true;
    } else if (arg == L"--key-name") {
      options.keyName = value();
    } else if (arg == L"--db") {
      options.database = value();
    } else if (arg == L"--show-keys") {
      options.showKeys = true;
    } else if (arg == L"--pack") {
      options.pack = true;
    } else if (arg == L"--cipher") {
      const std::wstring& name = value();
      if (name == L"aes") options.algorithm = kAes;
      else if (name == L"des") options.algorithm = kDes;
      else if (name == L"rc4") options.algorithm = kRc4;
      else throw UsageError{L"unknown cipher \"" + name + L"\" (aes, des or rc4)"};
    } else if (arg == L"--codepage") {
      const std::wstring& text = value();
      if (!ParseCodePage(text, options.codePage)) throw UsageError{L"bad code page \"" + text + L"\""};
    } else {
      throw UsageError{L"unknown option " + arg};
    }
  }

  const bool files = options.command == Command::kEncrypt || options.command == Command::kDecrypt;
  const bool keys = options.command == Command::kKeys;
  const int keySources = (options.key ? 1 : 0) + (options.keyStdin ? 1 : 0) + (options.keyName ? 1 : 0);
  if (keys && keySources > 0) throw UsageError{L"keys takes no key"};
  if (keySources > 1) throw UsageError{L"give only one of --key, --key-stdin and --key-name"};
  if (options.database && !keys && !options.keyName) throw UsageError{L"--db goes with keys or --key-name"};
  if (options.showKeys && !keys) throw UsageError{L"--show-keys goes with keys"};
  if ((options.pack || options.algorithm) && options.command != Command::kEncrypt)
    throw UsageError{L"--cipher and --pack go with encrypt"};
  if (files && options.paths.empty()) throw UsageError{L"no PATH given"};
  if (!files && !options.paths.empty()) throw UsageError{L"unexpected argument \"" + options.paths[0] + L"\""};
  return options;
}

std::wstring DatabasePath(const Options& options) {
  return options.database ? FullPath(*options.database) : DefaultDatabasePath();
}

// The key text, or an exit status when there is none.
std::optional<std::wstring> ResolveKey(const Options& options, int& status) {
  if (options.key) return options.key;
  if (options.keyStdin) {
    auto line = ReadInputLine(options.codePage);
    if (!line) {
      status = Usage(L"--key-stdin: standard input holds no line");
      return std::nullopt;
    }
    return line;
  }
  if (options.keyName) {
    const std::wstring path = DatabasePath(options);
    const auto keys = LoadKeys(path, options.codePage);
    if (!keys) {
      Say(L"cannot read the key database " + path);
      status = kExitRefused;
      return std::nullopt;
    }
    for (const KeyRow& row : *keys) {
      if (row.name == *options.keyName) return row.keyText;
    }
    Say(L"no key named \"" + *options.keyName + L"\" in " + path);
    status = kExitRefused;
    return std::nullopt;
  }
  auto typed = PromptHidden(L"Key: ");
  if (!typed) status = Usage(L"no key given, and no terminal to ask for one");
  return typed;
}

int RunFiles(const Options& options, const KeyBlock& key) {
  std::vector<std::wstring> paths;
  for (const auto& path : options.paths) paths.push_back(FullPath(path));

  RunDescription run;
  run.key = key;
  run.algorithm = options.algorithm.value_or(kAes);
  run.direction = options.command == Command::kDecrypt ? Direction::kDecrypt : Direction::kEncrypt;
  run.pack = options.pack;
  CliReporter reporter(IsTerminal(Stream::kErr));
  const RunSummary summary = RunSelection(paths, run, reporter, options.codePage);
  reporter.Finish();
  WriteText(Stream::kOut, L"共处理文件数:" + std::to_wstring(summary.processed) + L"\n");
  return summary.allDone() ? kExitOk : kExitRefused;
}

int RunClipboard(const Options& options, const KeyBlock& key) {
  const auto block = ReadAllInput();
  if (!block) {
    Say(L"cannot read standard input");
    return kExitRefused;
  }
  const bool encrypt = options.command == Command::kClipEncrypt;
  auto result = TransformClipText(encrypt ? Direction::kEncrypt : Direction::kDecrypt, *block, key, options.codePage);
  if (!result) {
    if (encrypt) {
      Say(block->empty() ? L"standard input is empty: nothing to encrypt"
                         : L"the text already is clipboard cipher text: left unchanged");
    } else {
      Say(IsClipCipherText(FromAnsi(*block, options.codePage))
              ? L"the key does not match this cipher text: left unchanged"
              : L"the text is not clipboard cipher text: left unchanged");
    }
    return kExitRefused;
  }
  result->pop_back();  // the block's terminating zero
  if (!WriteBytes(Stream::kOut, *result)) {
    Say(L"cannot write standard output");
    return kExitRefused;
  }
  return kExitOk;
}

int RunKeys(const Options& options) {
  const std::wstring path = DatabasePath(options);
  const auto keys = LoadKeys(path, options.codePage);
  if (!keys) {
    Say(L"cannot read the key database " + path);
    return kExitRefused;
  }
  std::wstring listing;
  for (const KeyRow& row : *keys) {
    listing += row.id + L"\t" + row.name + L"\t";
    if (options.showKeys) listing += row.keyText + L"\t";
    listing += row.about + L"\n";
  }
  WriteText(Stream::kOut, listing);
  return kExitOk;
}

}  // namespace

int Run(const std::vector<std::wstring>& args) {
  for (const auto& arg : args) {
    if (arg == L"--") break;
    if (arg == L"--help" || arg == L"-h") {
      WriteText(Stream::kOut, kUsage);
      return kExitOk;
    }
  }
  Options options;
  try {
    options = Parse(args);
  } catch (const UsageError& error) {
    return Usage(error.message);
  }
  if (options.command == Command::kKeys) return RunKeys(options);

  int status = kExitOk;
  const auto keyText = ResolveKey(options, status);
  if (!keyText) return status;
  const KeyBlock key = MakeKeyBlock(*keyText, options.codePage);
  if (options.command == Command::kClipEncrypt || options.command == Command::kClipDecrypt)
    return RunClipboard(options, key);
  return RunFiles(options, key);
}

}  // namespace vellumo::cli
