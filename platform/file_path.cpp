// Path text helpers shared by both file seams (pure string work), and the
// temporary-file policy built on the seam.
#include "platform/file_system.h"

namespace vellumo {

std::wstring JoinPath(const std::wstring& folder, const std::wstring& name) {
  if (folder.empty()) return name;
  if (IsPathSeparator(folder.back())) return folder + name;
  return folder + kPathSeparator + name;
}

size_t LastSeparator(const std::wstring& path) {
  for (size_t i = path.size(); i > 0; --i) {
    if (IsPathSeparator(path[i - 1])) return i - 1;
  }
  return std::wstring::npos;
}

std::wstring FileNamePart(const std::wstring& path) {
  const size_t cut = LastSeparator(path);
  return cut == std::wstring::npos ? path : path.substr(cut + 1);
}

std::wstring ParentFolder(const std::wstring& path) {
  const size_t cut = LastSeparator(path);
  if (cut == std::wstring::npos) return L".";
  return cut == 0 ? path.substr(0, 1) : path.substr(0, cut);
}

std::wstring TemporaryPathFor(const std::wstring& path) { return path + kTemporarySuffix; }

Status CreateTemporary(FileHandle& out, const std::wstring& tempPath) {
  if (IsSymbolicLink(tempPath)) {
    DeleteFilePath(tempPath);
  } else if (PathExists(tempPath)) {
    SetNormalAttributes(tempPath);
  }
  return out.CreateForWrite(tempPath);
}

Status ReplaceWithTemporary(const std::wstring& tempPath, const std::wstring& target, FolderSync sync) {
  const uint32_t previous = GetAttributes(target);
  const bool existed = previous != UINT32_MAX;
  if (existed) SetNormalAttributes(target);
  Status replaced = ReplaceFileAtomically(tempPath, target, sync);
  if (!replaced) {
    if (existed) SetAttributes(target, previous);
    DeleteFilePath(tempPath);
  }
  return replaced;
}

}  // namespace vellumo
