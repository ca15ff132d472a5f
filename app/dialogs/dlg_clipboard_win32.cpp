#include "app/dialogs/dlg_clipboard_win32.h"

#include <cstring>
#include <optional>
#include <string>

#include "app/vellumo_app_win32.h"
#include "clipboard/clip_codec.h"
#include "app/dialogs/key_list_win32.h"
#include "resources/resource.h"

namespace vellumo {

CDlgClipBoard::CDlgClipBoard()
    : CDialog(IDD_CLIPBOARD), db_(theApp.keyDatabase(), theApp.keyDatabaseTemplate()) {}

BOOL CDlgClipBoard::OnInitDialog() {
  ComboKeyTarget combo(Item(IDC_KEY_COMBO));
  db_.LoadKeyList(nullptr, &combo, &theApp.keyValues);
  return TRUE;
}

void CDlgClipBoard::OnOK() {
  LRESULT index = SendMessageW(Item(IDC_KEY_COMBO), CB_GETCURSEL, 0, 0);
  if (index < 0 || static_cast<size_t>(index) >= theApp.keyValues.size()) {
    Prompt(Text(IDS_NO_KEY_CHOSEN), MB_OK | MB_ICONEXCLAMATION);
    return;
  }
  TransformClipboard(MakeKeyBlock(theApp.keyValues[static_cast<size_t>(index)]));
  EndDialog(IDOK);
}

void CDlgClipBoard::TransformClipboard(const KeyBlock& key) {
  if (!IsClipboardFormatAvailable(CF_TEXT)) return;
  if (!OpenClipboard(hwnd())) return;
  std::optional<std::string> result;
  if (HANDLE data = GetClipboardData(CF_TEXT)) {
    if (const void* bytes = GlobalLock(data)) {
      std::string block(static_cast<const char*>(bytes), GlobalSize(data));
      GlobalUnlock(data);
      result = TransformClipText(direction, block, key);
    }
  }
  // The new block is ready before the old text is given up, so a failure here
  // leaves the clipboard as it was.
  if (result) {
    if (HGLOBAL memory = GlobalAlloc(GMEM_MOVEABLE, result->size())) {
      if (void* target = GlobalLock(memory)) {
        std::memcpy(target, result->data(), result->size());
        GlobalUnlock(memory);
        if (EmptyClipboard() && SetClipboardData(CF_TEXT, memory) != nullptr) memory = nullptr;
      }
      if (memory != nullptr) GlobalFree(memory);
    }
  }
  CloseClipboard();
}

}  // namespace vellumo
