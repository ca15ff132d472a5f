#pragma once
// The key list and settings dialog: lists the stored keys (their texts hidden
// unless asked for), adds, edits and deletes them, and holds the file
// dialog's close-when-done choice; every change is written at once. Opening
// it starts the update check.
#include <vector>

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
  void ShowKeys();  // the key column in clear, or hidden, as the box says
  int SelectedRow() const;
  void OnAdd();
  void OnEdit();
  void OnDelete();
  bool OnPaintMinimized();

  HICON icon_;
  KeyStore db_;
  std::vector<KeyRow> rows_;  // the keys as listed, row for row
};

}  // namespace vellumo
