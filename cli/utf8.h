#pragma once
// UTF-8 for the command line's own borders: arguments and key lines on POSIX,
// output that is not a Windows console.
#include <string>
#include <string_view>

namespace vellumo::cli {

std::string ToUtf8(std::wstring_view text);
// False when `bytes` is not well-formed UTF-8; `text` then holds U+FFFD for
// each bad sequence.
bool FromUtf8(std::string_view bytes, std::wstring& text);

}  // namespace vellumo::cli
