#pragma once
// The key of a command: --key, --key-stdin, --key-file, --key-name, or asked
// for on the terminal.
#include <optional>
#include <string>

#include "cli/options.h"

namespace vellumo::cli {

enum class KeyUse {
  kExisting,  // decrypting: asked once, read as it is
  kNew,       // encrypting or adding a key: asked twice, and it must fit the code page
};

// The key text; or nothing, with the reason told and `status` set to the
// exit status. An empty key is refused whatever its source.
std::optional<std::wstring> ObtainKey(const Options& options, KeyUse use, int& status);

}  // namespace vellumo::cli
