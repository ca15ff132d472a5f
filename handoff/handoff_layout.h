#pragma once
// The file-list handoff block between the shell extension and the program: a
// fixed-size block of UTF-16LE text, each path followed by "|", then U+0000.
#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

namespace vellumo {

constexpr wchar_t kHandoffName[] = L"QMRT_WRITE_BY_20090501_ENSTART";
constexpr size_t kHandoffBlockSize = 103424;   // bytes
constexpr size_t kHandoffTextLimit = 102400;   // bytes of entries and separators

// The whole block: zeros, then the entries; stops after the entry that takes
// the text past the limit (that entry is kept whole).
std::vector<uint16_t> EncodeHandoffBlock(const std::vector<std::wstring>& paths);

// The entries of a block of `units` UTF-16 code units: scanned up to the first
// U+0000 (or the block's end); every "|" ends an entry; text after the last
// one is ignored. An entry of any length is taken whole.
std::vector<std::wstring> DecodeHandoffBlock(const uint16_t* block, size_t units);

}  // namespace vellumo
