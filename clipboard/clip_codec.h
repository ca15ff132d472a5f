#pragma once
// The clipboard cipher text: "|||&&|||", the first 16 characters of the key
// block's MD5 in uppercase hex (the key check), the AES-transformed clipboard
// bytes as letter nibbles, and "|||&&|||" again. One line of printable ASCII.
//
// Everything here is byte and text work; the clipboard calls themselves belong
// to the dialog, which only hands the memory block in and writes the result out.
#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

#include "crypto/ansi_codepage.h"
#include "crypto/cipher_algorithm.h"
#include "crypto/key_block.h"

namespace vellumo {

// The clipboard's direction is the one of every cipher run.
using ClipMode = Direction;

// Longer than 32 characters, starting and ending with the separator.
bool IsClipCipherText(std::wstring_view text);
// Longer than 32 characters, characters 8 .. 23 equal to the key's check
// (case-sensitive: a lowercase check does not match).
bool KeyCheckMatches(std::wstring_view text, const KeyBlock& key);

// The cipher text of n bytes: the whole clipboard block, its terminating zero
// and anything after it included.
std::wstring EncodeClipText(const uint8_t* bytes, size_t n, const KeyBlock& key);
// The decrypted bytes of a cipher text given as bytes (read up to their first
// zero), themselves cut at their first zero. The caller has checked the format:
// at least 33 bytes.
std::string DecodeClipBytes(std::string_view bytes, const KeyBlock& key);
// DecodeClipBytes as text of the given ANSI code page.
std::wstring DecodeClipText(std::string_view bytes, const KeyBlock& key,
                            unsigned codePage = kThreadAnsiCodePage);

// The text of a clipboard memory block: its bytes up to and including the
// first zero byte, or the whole block when it has none. The system sizes a
// block as it likes (the setter's allocation, rounded up), and what lies after
// the text is not the user's to encrypt: another program's leftovers.
std::string_view ClipboardText(std::string_view block);

// What the clipboard should hold after an encrypt or decrypt of the memory
// block `block` (all of its bytes, as the system sizes it): the new block with
// its terminating zero, or nothing when the clipboard is to stay as it is
// (encrypt on text that already looks encrypted; decrypt on text that is not
// cipher text or whose key check differs; a block too large to encode).
// codePage: the ANSI code page in which the block's text is read.
std::optional<std::string> TransformClipText(Direction direction, std::string_view block, const KeyBlock& key,
                                             unsigned codePage = kThreadAnsiCodePage);

}  // namespace vellumo
