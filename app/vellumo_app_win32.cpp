#include "app/vellumo_app_win32.h"

#include <commctrl.h>
#include <shellapi.h>

#include "app/dialogs/dlg_clipboard_win32.h"
#include "app/dialogs/dlg_en_de_win32.h"
#include "app/dialogs/vellumo_dlg_win32.h"

namespace vellumo {

CVellumoApp theApp;

namespace {

// A directory search: an existing file or folder, or a pattern with a match.
bool FindsSomething(const std::wstring& path) {
  WIN32_FIND_DATAW data;
  HANDLE search = FindFirstFileW(path.c_str(), &data);
  if (search == INVALID_HANDLE_VALUE) return false;
  FindClose(search);
  return true;
}

int RunFileDialog(int decrypt) {
  CDlgEnDe dialog;
  dialog.decrypt = decrypt;
  dialog.DoModal();
  return 0;
}

int RunClipboardDialog(int mode) {
  CDlgClipBoard dialog;
  dialog.mode = mode;
  dialog.DoModal();
  return 0;
}

}  // namespace

int CVellumoApp::Run(int argc, wchar_t** argv) {
  INITCOMMONCONTROLSEX controls{sizeof(controls), ICC_STANDARD_CLASSES | ICC_LISTVIEW_CLASSES | ICC_PROGRESS_CLASS};
  InitCommonControlsEx(&controls);

  static_cast<AppPaths&>(*this) = ResolveAppPaths();

  // Exactly one argument, compared case-sensitively; anything that is neither
  // an option nor found by a directory search ends the program without a word.
  if (argc <= 1) return RunFileDialog(0);
  if (argc > 2) return 0;
  const std::wstring argument = argv[1];
  if (argument == L"-enstart") return RunFileDialog(0);
  if (argument == L"-destart") return RunFileDialog(1);
  if (argument == L"-enslipstart") return RunClipboardDialog(0);
  if (argument == L"-deslipstart") return RunClipboardDialog(1);
  if (argument == L"-sysset") {
    CVellumoDlg dialog;
    dialog.DoModal();
    return 0;
  }
  if (!FindsSomething(argument)) return 0;
  startFile = argument;
  return RunFileDialog(1);
}

}  // namespace vellumo

int WINAPI wWinMain(HINSTANCE, HINSTANCE, PWSTR, int) {
  int argc = 0;
  wchar_t** argv = CommandLineToArgvW(GetCommandLineW(), &argc);
  int result = vellumo::theApp.Run(argv != nullptr ? argc : 1, argv);
  LocalFree(argv);
  return result;
}
