#include "keystore/key_store.h"

#include <sqlite3.h>

#include <cwchar>
#include <memory>

#include "platform/file_system.h"

namespace vellumo {
namespace {

constexpr char kSelectAll[] = "select *from keylist order by id";
constexpr int kStepsPerCall = 1000;  // the progress handler's period

// Errors that say the file itself is not sound, as opposed to a database
// without the key table, which simply holds no keys.
bool IsDamage(int error) {
  const int primary = error & 0xFF;
  return primary == SQLITE_CORRUPT || primary == SQLITE_NOTADB || primary == SQLITE_TOOBIG ||
         primary == SQLITE_INTERRUPT || primary == SQLITE_NOMEM || primary == SQLITE_IOERR;
}

std::u16string ToUtf16(const std::wstring& text) {
  std::u16string out;
  for (wchar_t c : text) {
    uint32_t cp = static_cast<uint32_t>(c);
    if (cp >= 0x10000 && sizeof(wchar_t) == 4) {
      cp -= 0x10000;
      out += static_cast<char16_t>(0xD800 + (cp >> 10));
      out += static_cast<char16_t>(0xDC00 + (cp & 0x3FF));
    } else {
      out += static_cast<char16_t>(cp);
    }
  }
  return out;
}

// The id column as the list shows it; an id text that is not a whole number
// matches no row.
bool ParseId(const std::wstring& text, int64_t& id) {
  if (text.empty()) return false;
  wchar_t* end = nullptr;
  id = std::wcstoll(text.c_str(), &end, 10);
  return end && *end == L'\0';
}

}  // namespace

void KeyStore::StatementFinalizer::operator()(sqlite3_stmt* statement) const { sqlite3_finalize(statement); }

int KeyStore::StepBudget(void* store) {
  // Non-zero stops the statement in hand with SQLITE_INTERRUPT.
  return --static_cast<KeyStore*>(store)->stepsLeft_ < 0 ? 1 : 0;
}

KeyStore::Statement KeyStore::Prepare(const char* sql, int* error) {
  stepsLeft_ = kKeyStatementSteps / kStepsPerCall;
  sqlite3_stmt* statement = nullptr;
  const int rc = sqlite3_prepare_v2(connection_, sql, -1, &statement, nullptr);
  if (error) *error = rc == SQLITE_OK ? SQLITE_OK : sqlite3_extended_errcode(connection_);
  if (rc != SQLITE_OK) {
    sqlite3_finalize(statement);
    return nullptr;
  }
  return Statement(statement);
}

KeyStore::KeyStore(const std::wstring& userPath, const std::wstring& templatePath, unsigned codePage) {
  Open(userPath, templatePath, codePage);
}

KeyStore::~KeyStore() { Close(); }

bool KeyStore::Open(const std::wstring& userPath, const std::wstring& templatePath, unsigned codePage) {
  Close();
  codePage_ = codePage;
  // Without the template there is nothing to open: opening would create an
  // empty file with no keylist table, and its presence would keep the
  // template from ever being copied on later starts.
  if (!PathExists(userPath) && !CopyFilePath(templatePath, userPath, false)) return false;
  sqlite3* db = nullptr;
  if (sqlite3_open16(ToUtf16(userPath).c_str(), &db) == SQLITE_OK) {
    connection_ = db;
    isOpen_ = true;
    // Every statement within bounds, so that a hostile file (a view over a
    // query that never ends, a row of hundreds of megabytes) fails instead
    // of taking the program's time and memory.
    sqlite3_limit(db, SQLITE_LIMIT_LENGTH, kMaxKeyRowBytes);
    sqlite3_progress_handler(db, kStepsPerCall, &KeyStore::StepBudget, this);
  } else {
    sqlite3_close(db);
  }
  return isOpen_;
}

void KeyStore::Close() {
  if (isOpen_) sqlite3_close(connection_);
  connection_ = nullptr;
  isOpen_ = false;
}

bool KeyStore::Execute(const std::wstring& statement) {
  if (!isOpen_) return false;
  std::string sql = ToAnsi(statement, codePage_);
  stepsLeft_ = kKeyStatementSteps / kStepsPerCall;
  char* error = nullptr;
  int rc = sqlite3_exec(connection_, sql.c_str(), [](void*, int, char**, char**) { return 0; }, nullptr, &error);
  sqlite3_free(error);
  return rc == SQLITE_OK;
}

std::vector<KeyRow> KeyStore::Rows() {
  std::vector<KeyRow> rows;
  ReadRows(rows);
  return rows;
}

KeyListRead KeyStore::ReadRows(std::vector<KeyRow>& rows) {
  rows.clear();
  if (!isOpen_) return KeyListRead::kClosed;
  int error = SQLITE_OK;
  const Statement statement = Prepare(kSelectAll, &error);
  // A database without the key table holds no keys; one that is no database
  // (or a damaged one) is reported.
  if (!statement) return IsDamage(error) ? KeyListRead::kDamaged : KeyListRead::kComplete;
  sqlite3_stmt* stmt = statement.get();
  auto column = [&](int i) {
    // Columns by position; NULL (or a missing column) reads as empty text.
    if (i >= sqlite3_column_count(stmt)) return std::wstring();
    const unsigned char* text = sqlite3_column_text(stmt, i);
    if (!text) return std::wstring();
    return FromAnsi(std::string_view(reinterpret_cast<const char*>(text), sqlite3_column_bytes(stmt, i)), codePage_);
  };
  int rc;
  while ((rc = sqlite3_step(stmt)) == SQLITE_ROW) {
    if (rows.size() == kMaxKeyRows) break;
    rows.push_back({column(0), column(1), column(2), column(3)});
  }
  if (rc != SQLITE_DONE) {
    rows.clear();
    return KeyListRead::kDamaged;
  }
  return KeyListRead::kComplete;
}

KeyListRead KeyStore::LoadKeyList(KeyListTarget* list, KeyListTarget* combo, std::vector<std::wstring>* values) {
  if (!isOpen_) return KeyListRead::kClosed;
  if (list) list->Clear();
  if (combo) combo->Clear();
  if (values) values->clear();
  std::vector<KeyRow> rows;
  const KeyListRead read = ReadRows(rows);
  for (size_t i = 0; i < rows.size(); ++i) {
    if (list) list->Add(static_cast<int>(i), rows[i]);
    if (combo) combo->Add(static_cast<int>(i), rows[i]);
    if (values) values->push_back(rows[i].keyText);
  }
  if (list) list->Done();
  if (combo) combo->Done();
  return read;
}

bool KeyStore::Run(const char* sql, const std::vector<std::string>& texts, int64_t id, bool idFirst) {
  if (!isOpen_) return false;
  const Statement statement = Prepare(sql);
  if (!statement) return false;
  sqlite3_stmt* stmt = statement.get();
  int index = 1;
  if (idFirst) sqlite3_bind_int64(stmt, index++, id);
  // Text goes in as the code page's bytes, the way the statements of older
  // versions stored it.
  for (const std::string& text : texts) {
    sqlite3_bind_text(stmt, index++, text.data(), static_cast<int>(text.size()), SQLITE_TRANSIENT);
  }
  if (!idFirst) sqlite3_bind_int64(stmt, index++, id);
  return sqlite3_step(stmt) == SQLITE_DONE;
}

int64_t KeyStore::NextKeyId() {
  if (!isOpen_) return 0;
  const Statement statement = Prepare("select coalesce(max(id),0)+1 from keylist");
  if (!statement || sqlite3_step(statement.get()) != SQLITE_ROW) return 0;
  return sqlite3_column_int64(statement.get(), 0);
}

bool KeyStore::AddKey(const std::wstring& name, const std::wstring& keyText, const std::wstring& about) {
  const int64_t id = NextKeyId();
  return id > 0 && AddKey(id, name, keyText, about);
}

bool KeyStore::AddKey(int64_t id, const std::wstring& name, const std::wstring& keyText, const std::wstring& about) {
  return Run("insert into keylist (id,keyname,keyvalue,about) values (?,?,?,?)",
             {ToAnsi(name, codePage_), ToAnsi(keyText, codePage_), ToAnsi(about, codePage_)}, id, true);
}

bool KeyStore::EditKey(const std::wstring& id, const std::wstring& name, const std::wstring& keyText,
                     const std::wstring& about) {
  int64_t number;
  if (!ParseId(id, number)) return false;
  return Run("Update keylist set keyname=?,keyvalue=?,about=? where id=?",
             {ToAnsi(name, codePage_), ToAnsi(keyText, codePage_), ToAnsi(about, codePage_)}, number, false);
}

bool KeyStore::DeleteKey(const std::wstring& id) {
  int64_t number;
  if (!ParseId(id, number)) return false;
  return Run("delete from keylist where id=?", {}, number, false);
}

}  // namespace vellumo
