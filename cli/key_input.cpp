#include "cli/key_input.h"

#include "cli/cli.h"
#include "cli/commands.h"
#include "cli/console.h"
#include "cli/key_database.h"
#include "crypto/ansi_codepage.h"
#include "crypto/key_block.h"

namespace vellumo::cli {
namespace {

// A text editor's byte order mark is not part of the key.
std::wstring WithoutBom(std::wstring text) {
  if (!text.empty() && text[0] == L'\uFEFF') text.erase(0, 1);
  return text;
}

std::optional<std::wstring> FirstLineOfFile(const std::wstring& path, unsigned codePage, int& status) {
  Status why;
  const auto bytes = ReadSmallFile(path, why);
  if (!bytes) {
    Tell(Say(Msg::kCannotReadKeyFile, {path, ReasonText(why)}));
    status = kExitUsage;
    return std::nullopt;
  }
  if (bytes->empty()) {
    Tell(Say(Msg::kNoKeyLine, {path}));
    status = kExitUsage;
    return std::nullopt;
  }
  std::string line = bytes->substr(0, bytes->find('\n'));
  if (!line.empty() && line.back() == '\r') line.pop_back();
  std::wstring text;
  if (!DecodeTerminalText(line, text)) text = FromAnsi(line, codePage);
  return WithoutBom(text);
}

std::optional<std::wstring> StoredKey(const Options& options, int& status) {
  const std::wstring path = DatabasePath(options);
  const auto keys = ReadKeys(path, options.codePage);
  if (!keys) {
    status = kExitRefused;
    return std::nullopt;
  }
  const auto named = KeysNamed(*keys, *options.keyName);
  if (named.empty()) {
    Tell(Say(Msg::kNoSuchKey, {*options.keyName, path}));
    status = kExitRefused;
    return std::nullopt;
  }
  return named.front().keyText;  // the first in id order, as the dialogs list them
}

std::optional<std::wstring> AskedKey(KeyUse use, int& status) {
  auto typed = PromptHidden(Say(Msg::kPromptKey));
  if (!typed) {
    Tell(Say(Msg::kNoTerminal));
    status = kExitUsage;
    return std::nullopt;
  }
  // A typo in a new key would lock the file away: it is typed twice. An
  // empty one is refused before it is asked for again.
  if (use != KeyUse::kExisting && !typed->empty()) {
    const auto again = PromptHidden(Say(Msg::kPromptKeyAgain));
    if (!again || *again != *typed) {
      Tell(Say(Msg::kKeysDiffer));
      status = kExitUsage;
      return std::nullopt;
    }
  }
  return typed;
}

}  // namespace

std::optional<std::wstring> ObtainKey(const Options& options, KeyUse use, int& status) {
  std::optional<std::wstring> key;
  if (options.key) {
    key = options.key;
  } else if (options.keyStdin) {
    key = ReadInputLine(options.codePage);
    if (!key) {
      Tell(Say(Msg::kNoKeyLine, {L"--key-stdin"}));
      status = kExitUsage;
      return std::nullopt;
    }
    key = WithoutBom(*key);
  } else if (options.keyFile) {
    key = FirstLineOfFile(FullPath(*options.keyFile), options.codePage, status);
  } else if (options.keyName) {
    key = StoredKey(options, status);
  } else {
    key = AskedKey(use, status);
  }
  if (!key) return std::nullopt;

  // A stored key is taken as it was stored; a new one must make a key of its
  // own: not empty (the all-zero block), no zero character, and for a legacy
  // key no characters that would all become "?".
  if (key->empty()) {
    Tell(Say(Msg::kEmptyKey));
    status = kExitUsage;
    return std::nullopt;
  }
  if (use == KeyUse::kExisting || options.keyName) return key;
  if (key->find(L'\0') != std::wstring::npos) {
    Tell(Say(Msg::kKeyHasZero));
    status = kExitUsage;
    return std::nullopt;
  }
  if (use == KeyUse::kNewSealed) return key;
  if (CheckNewKeyText(*key, options.codePage) != KeyTextProblem::kNone) {
    Tell(Say(Msg::kKeyNotInCodePage, {std::to_wstring(CodePageNumber(options.codePage))}));
    status = kExitUsage;
    return std::nullopt;
  }
  const size_t bytes = ToAnsi(*key, options.codePage).size();
  if (bytes > KeyBlock().size()) Note(options, Say(Msg::kKeyCut, {std::to_wstring(bytes)}));
  return key;
}

}  // namespace vellumo::cli
