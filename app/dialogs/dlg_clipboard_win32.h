#pragma once
// The clipboard dialog: pick a key, and OK encrypts (or decrypts) the text on
// the clipboard in place.
#include "app/dialogs/dialog_win32.h"
#include "crypto/cipher_algorithm.h"
#include "crypto/key_block.h"
#include "keystore/key_store.h"

namespace vellumo {

class CDlgClipBoard : public CDialog {
 public:
  CDlgClipBoard();

  Direction direction = Direction::kEncrypt;  // set before DoModal

  // Replaces the clipboard's CF_TEXT by its encrypted or decrypted form. Every
  // refusal and failure leaves the clipboard as it was.
  void TransformClipboard(const KeyBlock& key);

 protected:
  BOOL OnInitDialog() override;
  void OnOK() override;

 private:
  KeyStore db_;
};

}  // namespace vellumo
