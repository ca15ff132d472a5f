#include "handoff/process_map_win32.h"

#include <cstring>

#include "handoff/handoff_layout.h"

namespace vellumo {

CProcessMap::~CProcessMap() {
  if (view_) UnmapViewOfFile(view_);
  if (mapping_) CloseHandle(mapping_);
}

bool CProcessMap::WriteList(const wchar_t* name, const std::vector<std::wstring>& paths) {
  if (mapping_) {
    CloseHandle(mapping_);
    mapping_ = nullptr;
  }
  // The creating user's default security: only that user (and the system)
  // may open the block, so no other account can read the selection or put
  // paths of its own into it.
  mapping_ = CreateFileMappingW(INVALID_HANDLE_VALUE, nullptr, PAGE_READWRITE, 0,
                                static_cast<DWORD>(kHandoffBlockSize), name);
  if (!mapping_) return false;
  view_ = MapViewOfFile(mapping_, FILE_MAP_ALL_ACCESS, 0, 0, 0);
  if (!view_) return false;
  std::vector<uint16_t> block = EncodeHandoffBlock(paths);
  std::memcpy(view_, block.data(), kHandoffBlockSize);
  UnmapViewOfFile(view_);
  view_ = nullptr;
  return true;
}

bool CProcessMap::ReadList(const wchar_t* name, std::vector<std::wstring>& paths) {
  HANDLE mapping = OpenFileMappingW(FILE_MAP_ALL_ACCESS, FALSE, name);
  if (!mapping) return false;
  void* view = MapViewOfFile(mapping, FILE_MAP_ALL_ACCESS, 0, 0, 0);
  if (!view) {
    CloseHandle(mapping);
    return false;
  }
  // A block made by someone else may be smaller than ours: never read past it.
  MEMORY_BASIC_INFORMATION info{};
  size_t bytes = VirtualQuery(view, &info, sizeof info) ? info.RegionSize : 0;
  if (bytes > kHandoffBlockSize) bytes = kHandoffBlockSize;
  auto* text = static_cast<uint16_t*>(view);
  paths = DecodeHandoffBlock(text, bytes / 2);
  if (bytes >= 2) text[0] = 0;  // consumed
  UnmapViewOfFile(view);
  CloseHandle(mapping);
  return true;
}

}  // namespace vellumo
