#pragma once
// The application object: start-up, the command-line dispatch to one modal
// dialog, and the process-wide state the dialogs share.
#include <windows.h>

#include <string>
#include <vector>

#include "app/app_paths_win32.h"

namespace vellumo {

// The folders (modulePath, programFolder, settingsFolder, settingsFile) are
// the AppPaths worked out at start-up.
class CVellumoApp : public AppPaths {
 public:
  // Works out the folders, then runs the one dialog the command line asks for.
  // Returns the process exit code.
  int Run(int argc, wchar_t** argv);

  std::wstring manualKey;       // typed in the key input dialog
  std::vector<std::wstring> keyValues;  // key texts, parallel to the key choice box
  std::wstring startFile;       // the path argument, when it names something
};

extern CVellumoApp theApp;

}  // namespace vellumo
