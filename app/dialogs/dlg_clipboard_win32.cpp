#include "app/dialogs/dlg_clipboard_win32.h"

#include <algorithm>
#include <cstring>
#include <optional>
#include <string>

#include "app/settings_win32.h"
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
  const ClipForm form =
      ReadFileFormat(theApp.settingsFile) == FileFormat::kSealed ? ClipForm::kSealed : ClipForm::kLegacy;
  const ClipRefusal refusal = TransformClipboard(theApp.keyValues[static_cast<size_t>(index)], form);
  if (const UINT message = SealedRefusalText(refusal)) Prompt(Text(message), MB_OK | MB_ICONEXCLAMATION);
  EndDialog(IDOK);
}

namespace {

// The clipboard's text as the system offers it in UTF-16, up to its first zero.
std::wstring UnicodeClipboardText() {
  std::wstring text;
  if (HANDLE data = GetClipboardData(CF_UNICODETEXT)) {
    if (const auto* chars = static_cast<const wchar_t*>(GlobalLock(data))) {
      const size_t capacity = GlobalSize(data) / sizeof(wchar_t);
      text.assign(chars, std::find(chars, chars + capacity, L'\0'));
      GlobalUnlock(data);
    }
  }
  return text;
}

// Puts `bytes` on the clipboard as `format`; the old content goes only once
// the new block is ready.
void SetClipboardBlock(UINT format, const void* bytes, size_t size) {
  HGLOBAL memory = GlobalAlloc(GMEM_MOVEABLE, size);
  if (memory == nullptr) return;
  if (void* target = GlobalLock(memory)) {
    std::memcpy(target, bytes, size);
    GlobalUnlock(memory);
    if (EmptyClipboard() && SetClipboardData(format, memory) != nullptr) memory = nullptr;
  }
  if (memory != nullptr) GlobalFree(memory);
}

}  // namespace

// The legacy form's refusals stay silent, as they always were; a sealed text
// that does not open says why.
UINT CDlgClipBoard::SealedRefusalText(ClipRefusal refusal) const {
  if (!sealedText_) return 0;
  switch (refusal) {
    case ClipRefusal::kWrongKey: return IDS_CLIP_WRONG_KEY;
    case ClipRefusal::kDamaged: return IDS_CLIP_DAMAGED;
    case ClipRefusal::kUnsupported: return IDS_CLIP_UNSUPPORTED;
    case ClipRefusal::kNoMemory: return IDS_CLIP_NO_MEMORY;
    default: return 0;
  }
}

ClipRefusal CDlgClipBoard::TransformClipboard(const std::wstring& keyText, ClipForm form) {
  sealedText_ = false;
  if (!IsClipboardFormatAvailable(CF_TEXT) && !IsClipboardFormatAvailable(CF_UNICODETEXT)) return ClipRefusal::kEmpty;
  if (!OpenClipboard(hwnd())) return ClipRefusal::kEmpty;
  const std::wstring text = UnicodeClipboardText();
  SealedKeyring keyring(keyText);
  ClipRefusal refusal = ClipRefusal::kNone;
  const bool sealedIn = direction == Direction::kDecrypt && IsSealedClipText(text);
  const bool sealedOut = direction == Direction::kEncrypt && form == ClipForm::kSealed;
  if (sealedIn || sealedOut) {
    sealedText_ = true;
    std::wstring result;
    if (sealedIn) {
      refusal = ClipRefusalOf(OpenSealedClipText(text, keyring, result));
    } else if (text.empty()) {
      refusal = ClipRefusal::kEmpty;
    } else if (IsClipCipherText(text) || IsSealedClipText(text)) {
      refusal = ClipRefusal::kAlreadyCipherText;
    } else {
      SealedError error = SealedError::kNone;
      result = SealClipText(text, keyring, error);
      refusal = ClipRefusalOf(error);
    }
    if (refusal == ClipRefusal::kNone) SetClipboardBlock(CF_UNICODETEXT, result.c_str(), (result.size() + 1) * sizeof(wchar_t));
  } else if (HANDLE data = GetClipboardData(CF_TEXT)) {
    if (const void* bytes = GlobalLock(data)) {
      const std::string block(static_cast<const char*>(bytes), GlobalSize(data));
      GlobalUnlock(data);
      const ClipResult result = TransformClipBlock(direction, ClipForm::kLegacy, block, MakeKeyBlock(keyText), keyring);
      refusal = result.refusal;
      if (refusal == ClipRefusal::kNone) SetClipboardBlock(CF_TEXT, result.block.data(), result.block.size());
    }
  }
  CloseClipboard();
  return refusal;
}

}  // namespace vellumo
