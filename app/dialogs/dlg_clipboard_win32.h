#pragma once
// The clipboard dialog: pick a key, and OK encrypts (or decrypts) the text on
// the clipboard in place.
#include <string>

#include "app/dialogs/dialog_win32.h"
#include "clipboard/clip_codec.h"
#include "crypto/cipher_algorithm.h"
#include "crypto/key_block.h"
#include "keystore/key_store.h"

namespace vellumo {

class CDlgClipBoard : public CDialog {
 public:
  CDlgClipBoard();

  Direction direction = Direction::kEncrypt;  // set before DoModal

  // Replaces the clipboard's text by its encrypted or decrypted form: the
  // legacy form through CF_TEXT in the code page, the sealed form through
  // CF_UNICODETEXT, so every character survives. Every refusal and failure
  // leaves the clipboard as it was; the refusal is returned.
  ClipRefusal TransformClipboard(const std::wstring& keyText, ClipForm form);

 protected:
  BOOL OnInitDialog() override;
  void OnOK() override;

 private:
  UINT SealedRefusalText(ClipRefusal refusal) const;

  KeyStore db_;
  bool sealedText_ = false;  // the last transform read or wrote the sealed form
};

}  // namespace vellumo
