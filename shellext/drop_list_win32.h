#pragma once
// The selection Explorer hands the context-menu handler: a shell drop list
// (CF_HDROP) in global memory, read straight from that memory.
#include <windows.h>
#include <objidl.h>

#include <string>
#include <vector>

namespace vellumo {

// The drop list a data object offers, held until the object goes.
class DropListData {
 public:
  explicit DropListData(IDataObject* data);
  ~DropListData();
  DropListData(const DropListData&) = delete;
  DropListData& operator=(const DropListData&) = delete;

  // False when the data object offers no drop list.
  explicit operator bool() const { return held_; }
  // True when the list holds a path (only its first entry is looked at).
  bool HasPaths() const;
  // The paths in list order, read in one pass, until their text (each path
  // and a separator, as UTF-16) passes `textLimit` bytes: the entry that
  // passes it is the last one taken. (DragQueryFileW reads the list from its
  // start for every index: tens of thousands of paths would take minutes.) A
  // list that points outside its memory, or whose last entry runs to the end
  // of the memory without its terminator, gives what it holds before that.
  std::vector<std::wstring> Paths(size_t textLimit) const;

 private:
  STGMEDIUM medium_{};
  bool held_ = false;
};

}  // namespace vellumo
