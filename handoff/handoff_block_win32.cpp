#include "handoff/handoff_block_win32.h"

#include <cstring>

#include "handoff/handoff_layout.h"

namespace vellumo {

bool HandoffBlock::WriteList(const wchar_t* name, const std::vector<std::wstring>& paths) {
  mapping_.reset();
  // The creating user's default security: only that user (and the system)
  // may open the block, so no other account can read the selection or put
  // paths of its own into it.
  mapping_.reset(CreateFileMappingW(INVALID_HANDLE_VALUE, nullptr, PAGE_READWRITE, 0,
                                    static_cast<DWORD>(kHandoffBlockSize), name));
  if (!mapping_) return false;
  UniqueView view(MapViewOfFile(mapping_.get(), FILE_MAP_ALL_ACCESS, 0, 0, 0));
  if (!view) return false;
  std::vector<uint16_t> block = EncodeHandoffBlock(paths);
  std::memcpy(view.get(), block.data(), kHandoffBlockSize);
  return true;
}

bool HandoffBlock::ReadList(const wchar_t* name, std::vector<std::wstring>& paths) {
  UniqueHandle mapping(OpenFileMappingW(FILE_MAP_ALL_ACCESS, FALSE, name));
  if (!mapping) return false;
  UniqueView view(MapViewOfFile(mapping.get(), FILE_MAP_ALL_ACCESS, 0, 0, 0));
  if (!view) return false;
  // A block made by someone else may be smaller than ours: never read past it.
  MEMORY_BASIC_INFORMATION info{};
  size_t bytes = VirtualQuery(view.get(), &info, sizeof info) ? info.RegionSize : 0;
  if (bytes > kHandoffBlockSize) bytes = kHandoffBlockSize;
  auto* text = static_cast<uint16_t*>(view.get());
  paths = DecodeHandoffBlock(text, bytes / 2);
  if (bytes >= 2) text[0] = 0;  // consumed
  return true;
}

}  // namespace vellumo
