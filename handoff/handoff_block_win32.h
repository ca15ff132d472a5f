#pragma once
// The named shared-memory block that carries the selected paths from the shell
// extension (WriteList) to a newly started Vellumo (ReadList).
#include <windows.h>

#include <string>
#include <vector>

#include "platform/owners_win32.h"

namespace vellumo {

class HandoffBlock {
 public:
  HandoffBlock() = default;
  HandoffBlock(const HandoffBlock&) = delete;
  HandoffBlock& operator=(const HandoffBlock&) = delete;

  // Creates and fills the block, open to the current user alone, and keeps it
  // open afterwards so it outlives the call until the program has read it; the
  // next write fills the same block again. A block of that name held by
  // another writer of this user (another Explorer process) is filled too;
  // one of any other maker, or open to others, or smaller than the layout,
  // is refused: false, and nothing is written.
  bool WriteList(const wchar_t* name, const std::vector<std::wstring>& paths);
  // Reads the entries and clears the whole block, so the selection does not
  // stay readable in it. False, leaving `paths` as it was, when there is no
  // block.
  bool ReadList(const wchar_t* name, std::vector<std::wstring>& paths);

 private:
  UniqueHandle mapping_;  // the writer's, held until the next write or unload
};

// The design's name for the block's accessor.
using CProcessMap = HandoffBlock;

}  // namespace vellumo
