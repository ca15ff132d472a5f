#pragma once
// The key database as a file: made new from the schema the installed template
// docset.dat is made from, and looked at before use, so that a damaged file is
// told apart from an empty key list.
#include <string>

namespace vellumo {

enum class KeyDatabaseState {
  kReady,         // a database holding the keylist table (or a view of that name)
  kMissing,       // no file of that name
  kNotADatabase,  // a folder, or a file that is no SQLite database
  kNoKeyTable,    // a database without the keylist table (an empty file is one)
  kUnreadable,    // the system would not let it be opened or read
};

KeyDatabaseState InspectKeyDatabase(const std::wstring& path);

// Makes a new key database with an empty key list at `path`, which must not
// exist yet: the template's own schema, so the file is what the program would
// have copied. False, with nothing left behind, when it cannot be made.
bool CreateKeyDatabase(const std::wstring& path);

// The statements that make the template (docset_schema.sql, built in).
const char* KeyDatabaseSchema();

}  // namespace vellumo
