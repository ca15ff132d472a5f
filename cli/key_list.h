#pragma once
// The keys of a key database file, read for listing and for --key-name.
#include <optional>
#include <string>
#include <vector>

#include "keystore/key_store.h"

namespace vellumo::cli {

// The rows of `keylist` in id order, texts read in `codePage`. Nothing when
// the file does not exist (it is not created), cannot be opened or is damaged
// (KeyListRead::kDamaged).
std::optional<std::vector<KeyRow>> LoadKeys(const std::wstring& path, unsigned codePage);

}  // namespace vellumo::cli
