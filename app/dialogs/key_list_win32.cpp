#include "app/dialogs/key_list_win32.h"

#include <commctrl.h>

namespace vellumo {

void ListViewKeyTarget::Clear() {
  ListView_DeleteAllItems(list_);
  rows_.clear();
}

void ListViewKeyTarget::Add(int index, const KeyRow& row) {
  rows_.push_back(row);
  LVITEMW item{};
  item.mask = LVIF_TEXT;
  item.iItem = index;
  item.pszText = const_cast<wchar_t*>(row.id.c_str());
  int at = ListView_InsertItem(list_, &item);
  const std::wstring hidden = kHiddenKey;
  const std::wstring* cells[] = {&row.id, &row.name, showKeys_ ? &row.keyText : &hidden, &row.about};
  for (int i = 0; i < 4; ++i) ListView_SetItemText(list_, at, i, const_cast<wchar_t*>(cells[i]->c_str()));
}

void ComboKeyTarget::Clear() { SendMessageW(combo_, CB_RESETCONTENT, 0, 0); }

void ComboKeyTarget::Add(int index, const KeyRow& row) {
  SendMessageW(combo_, CB_INSERTSTRING, static_cast<WPARAM>(index), reinterpret_cast<LPARAM>(row.name.c_str()));
}

void ComboKeyTarget::Done() {
  if (SendMessageW(combo_, CB_GETCOUNT, 0, 0) > 0) SendMessageW(combo_, CB_SETCURSEL, 0, 0);
}

}  // namespace vellumo
