#pragma once
// The 16-byte key block every cipher call takes: the key text in the ANSI code
// page, cut to its first 16 bytes (the cut may split a double-byte character),
// zero padded. Never stored.
#include <array>
#include <cstdint>
#include <string>

#include "crypto/ansi_codepage.h"

namespace vellumo {

using KeyBlock = std::array<uint8_t, 16>;

KeyBlock MakeKeyBlock(const std::wstring& keyText, unsigned codePage = kThreadAnsiCodePage);

}  // namespace vellumo
