#pragma once
// A thin modal dialog: a template id (taken in the user's language), `this`
// carried to the dialog procedure, and a few virtual handlers. Every window of
// Vellumo is one of these.
#include <windows.h>

#include <string>

namespace vellumo {

class CDialog {
 public:
  explicit CDialog(UINT templateId, HWND parent = nullptr);
  virtual ~CDialog() = default;
  CDialog(const CDialog&) = delete;
  CDialog& operator=(const CDialog&) = delete;

  // Runs the dialog modally; returns the value given to EndDialog (-1 when the
  // template cannot be loaded, 0 when the modal loop ended on a quit request).
  INT_PTR DoModal();
  HWND hwnd() const { return hwnd_; }

 protected:
  // Return FALSE when the handler has set the focus itself.
  virtual BOOL OnInitDialog() { return TRUE; }
  virtual void OnOK() { EndDialog(IDOK); }
  virtual void OnCancel() { EndDialog(IDCANCEL); }
  // Commands other than IDOK and IDCANCEL; true when handled.
  virtual bool OnCommand(WORD id, WORD notifyCode) {
    (void)id;
    (void)notifyCode;
    return false;
  }
  // Any other message; return true and set `result` when handled.
  virtual bool OnMessage(UINT msg, WPARAM wParam, LPARAM lParam, INT_PTR& result) {
    (void)msg;
    (void)wParam;
    (void)lParam;
    (void)result;
    return false;
  }

  void EndDialog(INT_PTR result) { ::EndDialog(hwnd_, result); }
  HWND Item(int id) const { return GetDlgItem(hwnd_, id); }
  std::wstring ItemText(int id) const;
  void SetItemText(int id, const std::wstring& text) const { SetDlgItemTextW(hwnd_, id, text.c_str()); }
  bool IsChecked(int id) const { return IsDlgButtonChecked(hwnd_, id) == BST_CHECKED; }
  void SetChecked(int id, bool checked) const {
    CheckDlgButton(hwnd_, id, checked ? BST_CHECKED : BST_UNCHECKED);
  }
  // A message box owned by this dialog, with the program's caption ("提示").
  int Prompt(const std::wstring& text, UINT flags = MB_OK) const;

 private:
  static INT_PTR CALLBACK DialogProc(HWND hwnd, UINT msg, WPARAM wParam, LPARAM lParam);

  UINT templateId_;
  HWND parent_;
  HWND hwnd_ = nullptr;
};

// The whole text of a window or control.
std::wstring WindowText(HWND hwnd);

// A text of the string tables in the user's language.
std::wstring Text(UINT id);

// A password edit's text in clear, or hidden again ("●").
void ShowPassword(HWND edit, bool show);

// A size in pixels at 100 % made right for the display's scale.
int ScaleForDpi(HWND window, int pixels);

// A report list's column, left aligned.
void InsertListColumn(HWND list, int index, std::wstring heading, int width);
// What is left of a report list's width beside `used` pixels of columns,
// with room for a vertical scroll bar.
int RemainingListWidth(HWND list, int used);

}  // namespace vellumo
