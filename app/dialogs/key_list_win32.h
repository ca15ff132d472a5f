#pragma once
// The key database's list targets for the dialogs: a report-view list (id,
// name, key, note) and a key choice combo box.
#include <windows.h>

#include <vector>

#include "keystore/key_store.h"

namespace vellumo {

// What the key column shows while key texts are hidden.
constexpr wchar_t kHiddenKey[] = L"\u25CF\u25CF\u25CF\u25CF";

// A list of the keys; the rows themselves are kept beside it, so that editing
// and deleting never read a key (or an id) back from what the list shows.
class ListViewKeyTarget : public KeyListTarget {
 public:
  ListViewKeyTarget(HWND list, bool showKeys, std::vector<KeyRow>& rows)
      : list_(list), showKeys_(showKeys), rows_(rows) {}
  void Clear() override;
  void Add(int index, const KeyRow& row) override;

 private:
  HWND list_;
  bool showKeys_;
  std::vector<KeyRow>& rows_;
};

class ComboKeyTarget : public KeyListTarget {
 public:
  explicit ComboKeyTarget(HWND combo) : combo_(combo) {}
  void Clear() override;
  // Inserted at the row's position, so a sorted combo keeps key id order too.
  void Add(int index, const KeyRow& row) override;
  void Done() override;

 private:
  HWND combo_;
};

}  // namespace vellumo
