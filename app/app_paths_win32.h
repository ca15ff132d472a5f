#pragma once
// The program's folders: where it runs from, and the per-user settings folder
// in the roaming application-data folder.
#include <string>

#include "keystore/key_store.h"

namespace vellumo {

struct AppPaths {
  std::wstring modulePath;      // the running executable
  std::wstring programFolder;   // its folder, with a trailing backslash
  std::wstring settingsFolder;  // <AppData>\zentrik_quen\ .
  std::wstring settingsFile;    // settingsFolder + "quen_set.ini"

  // The user's key database, and the template beside the program that is
  // copied there on first use.
  std::wstring keyDatabase() const { return settingsFolder + kKeyDatabaseFileName; }
  std::wstring keyDatabaseTemplate() const { return programFolder + kKeyDatabaseFileName; }
};

// Works the paths out and creates the settings folder (one level; an error,
// such as an existing folder, is ignored).
AppPaths ResolveAppPaths();

}  // namespace vellumo
