#include "app/vellumo_app_win32.h"

#include <commctrl.h>
#include <objbase.h>
#include <shellapi.h>

#include "app/dialogs/dlg_clipboard_win32.h"
#include "app/dialogs/dlg_en_de_win32.h"
#include "app/dialogs/vellumo_dlg_win32.h"
#include "platform/owners_win32.h"

namespace vellumo {

CVellumoApp theApp;

namespace {

// A directory search: an existing file or folder, or a pattern with a match.
bool FindsSomething(const std::wstring& path) {
  WIN32_FIND_DATAW data;
  return static_cast<bool>(UniqueFind(FindFirstFileW(path.c_str(), &data)));
}

int RunFileDialog(Direction direction, bool fromShell) {
  CDlgEnDe dialog;
  dialog.direction = direction;
  dialog.fromShell = fromShell;
  dialog.DoModal();
  return 0;
}

int RunClipboardDialog(Direction direction) {
  CDlgClipBoard dialog;
  dialog.direction = direction;
  dialog.DoModal();
  return 0;
}

}  // namespace

int CVellumoApp::Run(int argc, wchar_t** argv) {
  INITCOMMONCONTROLSEX controls{sizeof(controls), ICC_STANDARD_CLASSES | ICC_LISTVIEW_CLASSES | ICC_PROGRESS_CLASS};
  InitCommonControlsEx(&controls);

  // The dialogs' common item dialogs are COM objects of this thread.
  const HRESULT com = CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED | COINIT_DISABLE_OLE1DDE);
  struct ComScope {
    bool initialised;
    ~ComScope() {
      if (initialised) CoUninitialize();
    }
  } comScope{SUCCEEDED(com)};

  static_cast<AppPaths&>(*this) = ResolveAppPaths();

  // Exactly one argument, compared case-sensitively; anything that is neither
  // an option nor found by a directory search ends the program without a word.
  // The shell's menu starts the file dialog with an option, and an opened
  // file with its path; without any argument the user started the program.
  if (argc <= 1) return RunFileDialog(Direction::kEncrypt, false);
  if (argc > 2) return 0;
  const std::wstring argument = argv[1];
  if (argument == L"-enstart") return RunFileDialog(Direction::kEncrypt, true);
  if (argument == L"-destart") return RunFileDialog(Direction::kDecrypt, true);
  if (argument == L"-enslipstart") return RunClipboardDialog(Direction::kEncrypt);
  if (argument == L"-deslipstart") return RunClipboardDialog(Direction::kDecrypt);
  if (argument == L"-sysset") {
    CVellumoDlg dialog;
    dialog.DoModal();
    return 0;
  }
  if (!FindsSomething(argument)) return 0;
  startFile = argument;
  return RunFileDialog(Direction::kDecrypt, true);
}

}  // namespace vellumo

int WINAPI wWinMain(HINSTANCE, HINSTANCE, PWSTR, int) {
  int argc = 0;
  wchar_t** argv = CommandLineToArgvW(GetCommandLineW(), &argc);
  int result = vellumo::theApp.Run(argv != nullptr ? argc : 1, argv);
  LocalFree(argv);
  return result;
}
