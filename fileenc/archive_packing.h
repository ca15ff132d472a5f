#pragma once
// Adds the items of a packed selection to an archive: a file under its bare
// file name, a folder with its whole tree under names that start with the
// folder's own name.
#include <string>

#include "fileenc/zip_archive.h"

namespace vellumo {

// Adds one selected file or folder. False when the path does not exist, when a
// folder has no name of its own to give (a drive or file system root), or when
// an entry of it could not be added; a folder tree then lacks the rest of that
// tree from the failing entry on.
bool AddPathToArchive(ZipWriter* archive, const std::wstring& path);

// Adds the folder `relative` below `base`, then everything in it (folders
// recursively, in enumeration order), with entry names relative to `base`.
// Links (symbolic links, junctions) in it are left out. Stops at the first file
// or subfolder that cannot be added.
bool AddFolderTree(ZipWriter* archive, const std::wstring& base, const std::wstring& relative);

}  // namespace vellumo
