#pragma once
// The application object: start-up, the command-line dispatch to one modal
// dialog, and the process-wide state the dialogs share.
#include <windows.h>

#include <string>
#include <vector>

namespace vellumo {

class CVellumoApp {
 public:
  // Works out the folders, then runs the one dialog the command line asks for.
  // Returns the process exit code.
  int Run(int argc, wchar_t** argv);

  std::wstring modulePath;      // full path of the running executable
  std::wstring programFolder;   // its folder, ending in a backslash
  std::wstring settingsFolder;  // <application data>\zentrik_quen\ .
  std::wstring settingsFile;    // settingsFolder + "quen_set.ini"
  std::wstring manualKey;       // typed in the key input dialog
  std::vector<std::wstring> keyValues;  // key texts, parallel to the key choice box
  std::wstring startFile;       // the path argument, when it names something
};

extern CVellumoApp theApp;

}  // namespace vellumo
