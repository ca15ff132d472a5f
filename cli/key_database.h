#pragma once
// The key database the command line works on: --db, or the user's own.
#include <optional>
#include <string>
#include <vector>

#include "cli/options.h"
#include "keystore/key_store.h"

namespace vellumo::cli {

std::wstring DatabasePath(const Options& options);

// The keys of the database at `path`, in id order; nothing, with the reason
// told, when there is no database there or it is not a key database.
std::optional<std::vector<KeyRow>> ReadKeys(const std::wstring& path, unsigned codePage);

// The rows named `name`.
std::vector<KeyRow> KeysNamed(const std::vector<KeyRow>& keys, const std::wstring& name);

}  // namespace vellumo::cli
