#include "cli/key_database.h"

#include "cli/commands.h"
#include "cli/console.h"
#include "keystore/key_database_file.h"

namespace vellumo::cli {

std::wstring DatabasePath(const Options& options) {
  return options.database ? FullPath(*options.database) : DefaultDatabasePath();
}

std::optional<std::vector<KeyRow>> ReadKeys(const std::wstring& path, unsigned codePage) {
  // Looked at first: opening a missing file would make an empty one, and a
  // damaged one would read as an empty key list.
  switch (InspectKeyDatabase(path)) {
    case KeyDatabaseState::kReady: break;
    case KeyDatabaseState::kMissing: Tell(Say(Msg::kDbMissing, {path})); return std::nullopt;
    case KeyDatabaseState::kNotADatabase: Tell(Say(Msg::kDbNotADatabase, {path})); return std::nullopt;
    case KeyDatabaseState::kNoKeyTable: Tell(Say(Msg::kDbNoKeyTable, {path})); return std::nullopt;
    case KeyDatabaseState::kUnreadable: Tell(Say(Msg::kDbUnreadable, {path})); return std::nullopt;
  }
  KeyStore db(path, std::wstring(), codePage);
  if (!db.isOpen()) {
    Tell(Say(Msg::kDbUnreadable, {path}));
    return std::nullopt;
  }
  std::vector<KeyRow> rows;
  if (db.ReadRows(rows) != KeyListRead::kComplete) {
    // Past the bounds a key list keeps (rows, row length, steps): damaged.
    Tell(Say(Msg::kDbUnreadable, {path}));
    return std::nullopt;
  }
  return rows;
}

std::vector<KeyRow> KeysNamed(const std::vector<KeyRow>& keys, const std::wstring& name) {
  std::vector<KeyRow> named;
  for (const KeyRow& row : keys) {
    if (row.name == name) named.push_back(row);
  }
  return named;
}

}  // namespace vellumo::cli
