#pragma once
// The key list and settings dialog: lists the stored keys, adds, edits and
// deletes them (every change is written at once), and starts the update check.
#include "app/dialogs/dialog_win32.h"
#include "keystore/key_store.h"

namespace vellumo {

class CVellumoDlg : public CDialog {
 public:
  explicit CVellumoDlg(HWND parent = nullptr);

 protected:
  BOOL OnInitDialog() override;
  bool OnCommand(WORD id, WORD notifyCode) override;
  bool OnMessage(UINT msg, WPARAM wParam, LPARAM lParam, INT_PTR& result) override;

 private:
  void ReloadKeys();
  int SelectedRow() const;
  void OnAdd();
  void OnEdit();
  void OnDelete();
  bool OnPaintMinimized();

  HICON icon_;
  KeyStore db_;
};

}  // namespace vellumo
