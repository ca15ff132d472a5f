// Path text helpers shared by both file seams: pure string work.
#include "platform/file_system.h"

namespace vellumo {

std::wstring JoinPath(const std::wstring& folder, const std::wstring& name) {
  if (folder.empty()) return name;
  if (folder.back() == kPathSeparator) return folder + name;
  return folder + kPathSeparator + name;
}

std::wstring FileNamePart(const std::wstring& path) {
  size_t cut = path.find_last_of(kPathSeparator);
  return cut == std::wstring::npos ? path : path.substr(cut + 1);
}

}  // namespace vellumo
