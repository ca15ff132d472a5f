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

  // Creates (or reuses) and fills the block; keeps it open afterwards so it
  // outlives the call until the program has read it.
  bool WriteList(const wchar_t* name, const std::vector<std::wstring>& paths);
  // Reads the entries and marks the block empty. False, leaving `paths` as it
  // was, when there is no block.
  bool ReadList(const wchar_t* name, std::vector<std::wstring>& paths);

 private:
  UniqueHandle mapping_;  // the writer's, held until the next write or unload
};

// The design's name for the block's accessor.
using CProcessMap = HandoffBlock;

}  // namespace vellumo
