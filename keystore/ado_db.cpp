#include "keystore/ado_db.h"

#include <sqlite3.h>

#include <cwchar>

#include "platform/file_system.h"

namespace vellumo {
namespace {

constexpr char kSelectAll[] = "select *from keylist order by id";

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

CAdoDB::CAdoDB(const std::wstring& userPath, const std::wstring& templatePath, unsigned codePage) {
  Open(userPath, templatePath, codePage);
}

CAdoDB::~CAdoDB() { Close(); }

bool CAdoDB::Open(const std::wstring& userPath, const std::wstring& templatePath, unsigned codePage) {
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
  } else {
    sqlite3_close(db);
  }
  return isOpen_;
}

void CAdoDB::Close() {
  if (isOpen_) sqlite3_close(connection_);
  connection_ = nullptr;
  isOpen_ = false;
}

bool CAdoDB::Execute(const std::wstring& statement) {
  if (!isOpen_) return false;
  std::string sql = ToAnsi(statement, codePage_);
  char* error = nullptr;
  int rc = sqlite3_exec(connection_, sql.c_str(), [](void*, int, char**, char**) { return 0; }, nullptr, &error);
  sqlite3_free(error);
  return rc == SQLITE_OK;
}

std::vector<KeyRow> CAdoDB::Rows() {
  std::vector<KeyRow> rows;
  if (!isOpen_) return rows;
  sqlite3_stmt* stmt = nullptr;
  if (sqlite3_prepare_v2(connection_, kSelectAll, -1, &stmt, nullptr) != SQLITE_OK) {
    sqlite3_finalize(stmt);
    return rows;
  }
  auto column = [&](int i) {
    // Columns by position; NULL (or a missing column) reads as empty text.
    if (i >= sqlite3_column_count(stmt)) return std::wstring();
    const unsigned char* text = sqlite3_column_text(stmt, i);
    if (!text) return std::wstring();
    return FromAnsi(std::string_view(reinterpret_cast<const char*>(text), sqlite3_column_bytes(stmt, i)), codePage_);
  };
  while (sqlite3_step(stmt) == SQLITE_ROW) rows.push_back({column(0), column(1), column(2), column(3)});
  sqlite3_finalize(stmt);
  return rows;
}

void CAdoDB::LoadKeyList(KeyListTarget* list, KeyListTarget* combo, std::vector<std::wstring>* values) {
  if (!isOpen_) return;
  if (list) list->Clear();
  if (combo) combo->Clear();
  if (values) values->clear();
  std::vector<KeyRow> rows = Rows();
  for (size_t i = 0; i < rows.size(); ++i) {
    if (list) list->Add(static_cast<int>(i), rows[i]);
    if (combo) combo->Add(static_cast<int>(i), rows[i]);
    if (values) values->push_back(rows[i].keyText);
  }
  if (list) list->Done();
  if (combo) combo->Done();
}

bool CAdoDB::Run(const char* sql, const std::vector<std::string>& texts, int64_t id, bool idFirst) {
  if (!isOpen_) return false;
  sqlite3_stmt* stmt = nullptr;
  if (sqlite3_prepare_v2(connection_, sql, -1, &stmt, nullptr) != SQLITE_OK) {
    sqlite3_finalize(stmt);
    return false;
  }
  int index = 1;
  if (idFirst) sqlite3_bind_int64(stmt, index++, id);
  // Text goes in as the code page's bytes, the way the statements of older
  // versions stored it.
  for (const std::string& text : texts) {
    sqlite3_bind_text(stmt, index++, text.data(), static_cast<int>(text.size()), SQLITE_TRANSIENT);
  }
  if (!idFirst) sqlite3_bind_int64(stmt, index++, id);
  int rc = sqlite3_step(stmt);
  sqlite3_finalize(stmt);
  return rc == SQLITE_DONE;
}

bool CAdoDB::AddKey(int64_t id, const std::wstring& name, const std::wstring& keyText, const std::wstring& about) {
  return Run("insert into keylist (id,keyname,keyvalue,about) values (?,?,?,?)",
             {ToAnsi(name, codePage_), ToAnsi(keyText, codePage_), ToAnsi(about, codePage_)}, id, true);
}

bool CAdoDB::EditKey(const std::wstring& id, const std::wstring& name, const std::wstring& keyText,
                     const std::wstring& about) {
  int64_t number;
  if (!ParseId(id, number)) return false;
  return Run("Update keylist set keyname=?,keyvalue=?,about=? where id=?",
             {ToAnsi(name, codePage_), ToAnsi(keyText, codePage_), ToAnsi(about, codePage_)}, number, false);
}

bool CAdoDB::DeleteKey(const std::wstring& id) {
  int64_t number;
  if (!ParseId(id, number)) return false;
  return Run("delete from keylist where id=?", {}, number, false);
}

}  // namespace vellumo
