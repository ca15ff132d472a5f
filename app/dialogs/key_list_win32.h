#pragma once
// The key database's list targets for the dialogs: a report-view list (id,
// name, key, note) and a key choice combo box.
#include <windows.h>

#include "keystore/key_store.h"

namespace vellumo {

class ListViewKeyTarget : public KeyListTarget {
 public:
  explicit ListViewKeyTarget(HWND list) : list_(list) {}
  void Clear() override;
  void Add(int index, const KeyRow& row) override;

 private:
  HWND list_;
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
