#pragma once
// The key store: one SQLite connection to the user's key database
// "docset.dat", whose table keylist (id, keyname, keyvalue, about, in that
// order) holds its text as bytes of the ANSI code page, as existing databases
// do.
#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "crypto/ansi_codepage.h"

struct sqlite3;
struct sqlite3_stmt;

namespace vellumo {

// The key database's file name, in the settings folder (the user's copy) and
// beside the program (the template copied on first use).
constexpr wchar_t kKeyDatabaseFileName[] = L"docset.dat";

// One key as the database holds it.
struct KeyRow {
  std::wstring id;  // as the database gives it back, in decimal
  std::wstring name;
  std::wstring keyText;
  std::wstring about;
};

// Something LoadKeyList fills: a list view, a combo box, or a test recorder.
class KeyListTarget {
 public:
  virtual ~KeyListTarget() = default;
  virtual void Clear() = 0;
  virtual void Add(int index, const KeyRow& row) = 0;
  // After the last row (a combo box selects its first entry here).
  virtual void Done() {}
};

// How far a read of the key list got.
enum class KeyListRead {
  kComplete,
  kClosed,   // no database is open; nothing was read
  // The list could not be read whole within the bounds below (more rows than
  // any key list has, a row too long, a query that does not end, a file that
  // is no database or a damaged one): nothing of it is listed.
  kDamaged,
};

// What one read of a key database may take: a key list holds a few dozen
// short rows, so a file that asks for more is hostile or damaged, and is not
// allowed to hold the program (or its memory) for as long as it likes.
constexpr size_t kMaxKeyRows = 10000;
constexpr int kMaxKeyRowBytes = 1 << 20;      // one row with all its texts
constexpr int kKeyStatementSteps = 20000000;  // virtual machine steps per statement

class KeyStore {
 public:
  KeyStore() = default;
  // Opens userPath, first copying templatePath there when there is no file;
  // stays closed (creating nothing) when that copy fails.
  KeyStore(const std::wstring& userPath, const std::wstring& templatePath, unsigned codePage = kThreadAnsiCodePage);
  ~KeyStore();
  KeyStore(const KeyStore&) = delete;
  KeyStore& operator=(const KeyStore&) = delete;

  bool Open(const std::wstring& userPath, const std::wstring& templatePath, unsigned codePage = kThreadAnsiCodePage);
  void Close();
  bool isOpen() const { return isOpen_; }

  // Runs a statement given as text; false when closed or when it fails.
  bool Execute(const std::wstring& statement);
  // Refills any target given, in ascending id order. Nothing is touched when
  // the database is closed; a damaged one leaves the targets empty.
  KeyListRead LoadKeyList(KeyListTarget* list, KeyListTarget* combo, std::vector<std::wstring>* values);
  // The rows in ascending id order; `rows` is empty unless the read is complete.
  KeyListRead ReadRows(std::vector<KeyRow>& rows);
  // ReadRows' rows (none when the read was not complete).
  std::vector<KeyRow> Rows();

  // The settings dialog's changes. Values are bound, not spliced into the
  // statement text, so a quote in a name or key is stored like any character.
  // A new key's id is the greatest id + 1 (1 for the first key), so the id of
  // a deleted last key is used again and gaps are never filled.
  bool AddKey(const std::wstring& name, const std::wstring& keyText, const std::wstring& about);
  bool AddKey(int64_t id, const std::wstring& name, const std::wstring& keyText, const std::wstring& about);
  bool EditKey(const std::wstring& id, const std::wstring& name, const std::wstring& keyText,
               const std::wstring& about);
  bool DeleteKey(const std::wstring& id);

 private:
  bool Run(const char* sql, const std::vector<std::string>& texts, int64_t id, bool idFirst);
  // Compiles a statement and gives it the step budget of one statement.
  struct StatementFinalizer {
    void operator()(sqlite3_stmt* statement) const;
  };
  using Statement = std::unique_ptr<sqlite3_stmt, StatementFinalizer>;
  Statement Prepare(const char* sql, int* error = nullptr);
  static int StepBudget(void* store);
  // The id a key added now gets; 0 when the database cannot say.
  int64_t NextKeyId();

  sqlite3* connection_ = nullptr;
  bool isOpen_ = false;
  int stepsLeft_ = 0;  // of the statement in hand, in thousands
  unsigned codePage_ = kThreadAnsiCodePage;
};

// The design's name for the key store.
using CAdoDB = KeyStore;

}  // namespace vellumo
