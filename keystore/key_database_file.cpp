#include "keystore/key_database_file.h"

#include <sqlite3.h>

#include "crypto/utf8.h"
#include "platform/file_system.h"

namespace vellumo {
namespace {

// docset_schema.sql as a string literal, written by keystore/CMakeLists.txt.
constexpr char kSchema[] =
#include "keystore/docset_schema.inc"
    ;

// One connection, closed when it goes.
class Connection {
 public:
  Connection(const std::wstring& path, int flags) {
    rc_ = sqlite3_open_v2(ToUtf8(path).c_str(), &db_, flags, nullptr);
  }
  ~Connection() { sqlite3_close(db_); }
  Connection(const Connection&) = delete;
  Connection& operator=(const Connection&) = delete;
  int rc() const { return rc_; }
  sqlite3* get() const { return db_; }

 private:
  sqlite3* db_ = nullptr;
  int rc_ = SQLITE_ERROR;
};

}  // namespace

const char* KeyDatabaseSchema() { return kSchema; }

KeyDatabaseState InspectKeyDatabase(const std::wstring& path) {
  if (IsFolder(path)) return KeyDatabaseState::kNotADatabase;
  if (!PathExists(path)) return KeyDatabaseState::kMissing;
  Connection db(path, SQLITE_OPEN_READONLY);
  if (db.rc() != SQLITE_OK) return KeyDatabaseState::kUnreadable;
  sqlite3_stmt* statement = nullptr;
  // The first read of the file is where SQLite finds out what it holds.
  // A view of that name reads like the table (and is read within the key
  // list's bounds, so a hostile one is reported there).
  int rc = sqlite3_prepare_v2(db.get(),
                              "select count(*) from sqlite_master where type in ('table','view') and name='keylist'", -1,
                              &statement, nullptr);
  bool hasTable = false;
  if (rc == SQLITE_OK) {
    rc = sqlite3_step(statement);
    if (rc == SQLITE_ROW) hasTable = sqlite3_column_int(statement, 0) > 0;
  }
  sqlite3_finalize(statement);
  if (rc == SQLITE_NOTADB || rc == SQLITE_CORRUPT) return KeyDatabaseState::kNotADatabase;
  if (rc != SQLITE_ROW) return KeyDatabaseState::kUnreadable;
  return hasTable ? KeyDatabaseState::kReady : KeyDatabaseState::kNoKeyTable;
}

bool CreateKeyDatabase(const std::wstring& path) {
  if (PathExists(path) || IsSymbolicLink(path)) return false;
  bool made = false;
  {
    Connection db(path, SQLITE_OPEN_READWRITE | SQLITE_OPEN_CREATE);
    made = db.rc() == SQLITE_OK && sqlite3_exec(db.get(), kSchema, nullptr, nullptr, nullptr) == SQLITE_OK;
  }
  if (!made) DeleteFilePath(path);
  return made;
}

}  // namespace vellumo
