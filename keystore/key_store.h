#pragma once
// The key store: one SQLite connection to the user's key database
// "docset.dat", whose table keylist (id, keyname, keyvalue, about, in that
// order) holds its text as bytes of the ANSI code page, as existing databases
// do.
#include <cstdint>
#include <string>
#include <vector>

#include "crypto/ansi_codepage.h"

struct sqlite3;

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
  // the database is closed.
  void LoadKeyList(KeyListTarget* list, KeyListTarget* combo, std::vector<std::wstring>* values);
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
  // The id a key added now gets; 0 when the database cannot say.
  int64_t NextKeyId();

  sqlite3* connection_ = nullptr;
  bool isOpen_ = false;
  unsigned codePage_ = kThreadAnsiCodePage;
};

// The design's name for the key store.
using CAdoDB = KeyStore;

}  // namespace vellumo
