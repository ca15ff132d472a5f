#pragma once
// UTF-8 where text leaves the program's wide strings: POSIX file names,
// command-line arguments and key lines, output that is not a Windows console.
#include <string>
#include <string_view>

namespace vellumo {

std::string ToUtf8(std::wstring_view text);
// False when `bytes` is not well-formed UTF-8; `text` then holds U+FFFD for
// each bad sequence.
bool FromUtf8(std::string_view bytes, std::wstring& text);

}  // namespace vellumo
