// keys: list the key database; keys add / remove / rename: change it as the
// settings dialog does (code page text, ids as the greatest + 1), making the
// database from the template's schema when there is none yet.
#include "cli/cli.h"
#include "cli/commands.h"
#include "cli/console.h"
#include "cli/json.h"
#include "cli/key_database.h"
#include "cli/key_input.h"
#include "crypto/ansi_codepage.h"
#include "keystore/key_database_file.h"

namespace vellumo::cli {
namespace {

// An id as a JSON number when it is one (as the program writes them), else as text.
std::string IdJson(const std::wstring& id) {
  bool number = !id.empty() && id.size() < 19 && (id == L"0" || id[0] != L'0');
  for (wchar_t c : id) number = number && c >= L'0' && c <= L'9';
  return number ? std::string(id.begin(), id.end()) : JsonString(id);
}

int ListKeys(const Options& options) {
  const std::wstring path = DatabasePath(options);
  const auto keys = ReadKeys(path, options.codePage);
  if (!keys) return kExitRefused;
  if (options.json) {
    JsonList list('[');
    for (const KeyRow& row : *keys) {
      JsonList key('{');
      key.Add("id", IdJson(row.id)).Add("name", JsonString(row.name));
      if (options.showKeys) key.Add("key", JsonString(row.keyText));
      key.Add("note", JsonString(row.about));
      list.Add(key.Close());
    }
    JsonList root('{');
    root.Add("database", JsonString(path)).Add("keys", list.Close());
    WriteBytes(Stream::kOut, root.Close() + "\n");
    return kExitOk;
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

// A name (or note) that the database can hold as the dialogs will show it.
bool CheckName(const Options& options, const std::wstring& name) {
  if (name.empty()) {
    Tell(Say(Msg::kEmptyName));
    return false;
  }
  if (!CanEncodeAnsi(name, options.codePage)) {
    Tell(Say(Msg::kNameNotInCodePage, {std::to_wstring(CodePageNumber(options.codePage))}));
    return false;
  }
  return true;
}

// The one key named `name`, or nothing with the reason told.
std::optional<KeyRow> OneKeyNamed(const std::vector<KeyRow>& keys, const std::wstring& name, const std::wstring& path) {
  const auto named = KeysNamed(keys, name);
  if (named.size() == 1) return named.front();
  if (named.empty()) {
    Tell(Say(Msg::kNoSuchKey, {name, path}));
  } else {
    Tell(Say(Msg::kKeyNameShared, {name, std::to_wstring(named.size())}));
  }
  return std::nullopt;
}

int AddKey(const Options& options) {
  const std::wstring& name = options.arguments[0];
  const std::wstring note = options.note.value_or(L"");
  if (!CheckName(options, name)) return kExitUsage;
  if (!CanEncodeAnsi(note, options.codePage)) {
    Tell(Say(Msg::kNoteNotInCodePage, {std::to_wstring(CodePageNumber(options.codePage))}));
    return kExitUsage;
  }
  const std::wstring path = DatabasePath(options);
  const bool missing = InspectKeyDatabase(path) == KeyDatabaseState::kMissing;
  if (!missing) {
    const auto keys = ReadKeys(path, options.codePage);
    if (!keys) return kExitRefused;
    if (!KeysNamed(*keys, name).empty()) {
      Tell(Say(Msg::kKeyNameTaken, {name}));
      return kExitRefused;
    }
  }
  // The key last: nothing is made or asked for in vain.
  int status = kExitOk;
  const auto keyText = ObtainKey(options, KeyUse::kNewLegacy, status);
  if (!keyText) return status;
  if (missing) {
    if (!MakeDatabaseFolder(path) || !CreateKeyDatabase(path)) {
      Tell(Say(Msg::kDbCannotMake, {path}));
      return kExitRefused;
    }
    Note(options, Say(Msg::kDbMade, {path}));
  }
  KeyStore db(path, std::wstring(), options.codePage);
  if (!db.AddKey(name, *keyText, note)) {
    Tell(Say(Msg::kDbCannotWrite, {path}));
    return kExitRefused;
  }
  Note(options, Say(Msg::kKeyAdded, {name, path}));
  return kExitOk;
}

int RemoveKey(const Options& options) {
  const std::wstring& name = options.arguments[0];
  const std::wstring path = DatabasePath(options);
  const auto keys = ReadKeys(path, options.codePage);
  if (!keys) return kExitRefused;
  const auto key = OneKeyNamed(*keys, name, path);
  if (!key) return kExitRefused;
  KeyStore db(path, std::wstring(), options.codePage);
  if (!db.DeleteKey(key->id)) {
    Tell(Say(Msg::kDbCannotWrite, {path}));
    return kExitRefused;
  }
  Note(options, Say(Msg::kKeyRemoved, {name}));
  return kExitOk;
}

int RenameKey(const Options& options) {
  const std::wstring& from = options.arguments[0];
  const std::wstring& to = options.arguments[1];
  if (!CheckName(options, to)) return kExitUsage;
  const std::wstring path = DatabasePath(options);
  const auto keys = ReadKeys(path, options.codePage);
  if (!keys) return kExitRefused;
  const auto key = OneKeyNamed(*keys, from, path);
  if (!key) return kExitRefused;
  if (to != from && !KeysNamed(*keys, to).empty()) {
    Tell(Say(Msg::kKeyNameTaken, {to}));
    return kExitRefused;
  }
  KeyStore db(path, std::wstring(), options.codePage);
  if (!db.EditKey(key->id, to, key->keyText, key->about)) {
    Tell(Say(Msg::kDbCannotWrite, {path}));
    return kExitRefused;
  }
  Note(options, Say(Msg::kKeyRenamed, {from, to}));
  return kExitOk;
}

}  // namespace

int RunKeys(const Options& options) {
  switch (options.command) {
    case Command::kKeysAdd: return AddKey(options);
    case Command::kKeysRemove: return RemoveKey(options);
    case Command::kKeysRename: return RenameKey(options);
    default: return ListKeys(options);
  }
}

}  // namespace vellumo::cli
