#pragma once
// The key of a command: --key, --key-stdin, --key-file, --key-name, or asked
// for on the terminal.
#include <optional>
#include <string>

#include "cli/options.h"

namespace vellumo::cli {

enum class KeyUse {
  kExisting,   // decrypting or upgrading: asked once, read as it is
  kNewLegacy,  // a legacy cipher or the key database: asked twice, must fit the
               // code page, and only its first 16 bytes count (the user is told)
  kNewSealed,  // the sealed format: asked twice; the whole text counts, in any script
};

// The key text; or nothing, with the reason told and `status` set to the
// exit status. An empty key is refused whatever its source, and a new one
// holding a zero character too (a key text ends there).
std::optional<std::wstring> ObtainKey(const Options& options, KeyUse use, int& status);

}  // namespace vellumo::cli
