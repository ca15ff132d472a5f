#include "fileenc/archive_packing.h"

#include <vector>

namespace vellumo {

bool AddPathToArchive(ZipWriter* archive, const std::wstring& path) {
  if (!archive || !PathExists(path)) return false;
  if (!IsFolder(path)) return AddFileEntry(archive, FileNamePart(path), path) == kZipOk;

  // Split into the parent and the folder's own name, which starts every entry.
  std::wstring folder = path;
  while (folder.size() > 1 && IsPathSeparator(folder.back())) folder.pop_back();
  const size_t separator = LastSeparator(folder);
  const size_t cut = separator == std::wstring::npos ? 0 : separator + 1;
  const std::wstring name = folder.substr(cut);
  std::wstring parent;
  if (cut == 0) {
    parent = L".";
  } else {
    parent = folder.substr(0, cut == 1 ? 1 : cut - 1);  // keep a POSIX root "/"
  }
  if (name == L"." || !IsSafeEntryName(name)) return false;
  return AddFolderTree(archive, parent, name);
}

bool AddFolderTree(ZipWriter* archive, const std::wstring& base, const std::wstring& relative) {
  if (!archive) return false;
  // A folder entry that cannot be written still leaves its files worth adding.
  AddFolderEntry(archive, relative);
  const std::wstring folder = JoinPath(base, relative);
  std::vector<DirEntry> entries;
  if (!ListFolder(folder, entries)) return false;
  for (const DirEntry& entry : entries) {
    // A link is not the folder's own content: packing through it could take
    // in files from anywhere, or go round a loop.
    if (entry.isLink) continue;
    const std::wstring name = JoinPath(relative, entry.name);
    if (entry.isFolder) {
      if (!AddFolderTree(archive, base, name)) return false;
    } else if (AddFileEntry(archive, name, JoinPath(folder, entry.name)) != kZipOk) {
      return false;
    }
  }
  return true;
}

}  // namespace vellumo
