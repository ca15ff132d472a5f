#include "cli/key_list.h"

#include "platform/file_system.h"

namespace vellumo::cli {

std::optional<std::vector<KeyRow>> LoadKeys(const std::wstring& path, unsigned codePage) {
  // Opening a missing file would leave an empty database behind.
  if (path.empty() || !PathExists(path) || IsFolder(path)) return std::nullopt;
  KeyStore db(path, std::wstring(), codePage);
  std::vector<KeyRow> rows;
  if (db.ReadRows(rows) != KeyListRead::kComplete) return std::nullopt;
  return rows;
}

}  // namespace vellumo::cli
