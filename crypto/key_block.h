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

// The file dialog's key block when a key is typed by hand: the chosen list
// key's block with the typed key's bytes copied over its start. The block is
// not cleared in between, so a typed key shorter than the list key keeps the
// list key's tail, and a file so encrypted opens only with both again. An
// empty typed key leaves the list key's block as it is.
KeyBlock OverlayKeyBlock(const std::wstring& listKeyText, const std::wstring& typedKeyText,
                         unsigned codePage = kThreadAnsiCodePage);

// The same choice for the sealed format, whose key is a whole text rather
// than 16 bytes: a typed key replaces the list key (there is no block to lay
// it over), so a file so encrypted opens with the typed text alone. An empty
// typed key leaves the list key.
std::wstring RunKeyText(const std::wstring& listKeyText, const std::wstring& typedKeyText);

// Whether a key text may become a new key, or be typed to encrypt with. Keys
// that already exist (in the key list, in files) are read as they are; a new
// one must not be empty (that is the all-zero block) and must not hold
// characters the code page lacks (they would all become "?", so different
// keys would give one block), nor a zero character (stored code page text ends
// there).
enum class KeyTextProblem { kNone, kEmpty, kNotInCodePage };
KeyTextProblem CheckNewKeyText(const std::wstring& keyText, unsigned codePage = kThreadAnsiCodePage);

}  // namespace vellumo
