#include "cli/key_list.h"

#include "platform/file_system.h"
#include "keystore/ado_db.h"

namespace vellumo::cli {

std::optional<std::vector<KeyEntry>> LoadKeys(const std::wstring& path, unsigned codePage) {
  // Opening a missing file would leave an empty database behind.
  if (path.empty() || !PathExists(path) || IsFolder(path)) return std::nullopt;
  CAdoDB db(path, std::wstring(), codePage);
  if (!db.isOpen()) return std::nullopt;
  std::vector<KeyEntry> keys;
  for (const KeyRow& row : db.Rows()) keys.push_back({row.id, row.name, row.keyText, row.about});
  return keys;
}

}  // namespace vellumo::cli
