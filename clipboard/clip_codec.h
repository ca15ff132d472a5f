#pragma once
// The clipboard cipher texts, both one line of printable ASCII:
//
// - the legacy form: "|||&&|||", the first 16 characters of the key block's
//   MD5 in uppercase hex (the key check), the AES-transformed clipboard bytes
//   as letter nibbles, and "|||&&|||" again;
// - the sealed form: "vellumo:" and the base64 (RFC 4648, "=" padded) of a
//   sealed message whose plaintext is the text in UTF-8, with the key
//   derivation and chunks of a sealed file (docs/FORMAT.md).
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
#include "sealed/sealed_keys.h"

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

// --- The sealed form ---
constexpr std::wstring_view kSealedClipPrefix = L"vellumo:";

// Blanks and line breaks anywhere in a sealed form are ignored, so text
// wrapped by a mail or chat program still opens.
//
// Starts with the prefix.
bool IsSealedClipText(std::wstring_view text);
// The sealed form of `text`, through `keyring` (its salt and cost). Empty
// with `error` set when the key derivation could not get its memory.
std::wstring SealClipText(std::wstring_view text, SealedKeyring& keyring, SealedError& error);
// Opens a sealed form. kNotSealed for text without the prefix, kDamaged for
// text with it that is not base64 of a sealed message (or is one that was
// changed or cut), kUnsupported for a message that holds no text (a packed
// set, or bytes that are not UTF-8).
SealedError OpenSealedClipText(std::wstring_view cipherText, SealedKeyring& keyring, std::wstring& text);

// Which form encryption writes.
enum class ClipForm { kLegacy, kSealed };

enum class ClipRefusal {
  kNone,
  kEmpty,             // encrypting: there is no text
  kAlreadyCipherText, // encrypting: the text is cipher text of either form already
  kTooLarge,          // encrypting: the block is too large for the legacy form
  kNotCipherText,     // decrypting: the text is of neither form
  kWrongKey,          // decrypting: the key does not open it
  kDamaged,           // decrypting: a sealed text was changed or cut short
  kUnsupported,       // decrypting: a sealed text of another version, or holding no text
  kNoMemory,          // the key derivation could not get its memory
};

// The refusal a sealed text's error amounts to.
ClipRefusal ClipRefusalOf(SealedError error);

struct ClipResult {
  ClipRefusal refusal = ClipRefusal::kNone;
  std::string block;  // the new clipboard block with its terminating zero; empty when refused
};

// TransformClipText for both forms. Encryption writes `form`: the legacy form
// exactly as TransformClipText, the sealed form from the block's text (read
// in `codePage` up to its first zero). Decryption tells the forms apart by
// their text: the legacy form opens with `legacyKey`, the sealed with
// `keyring`, whose text goes back into the block in `codePage` (characters
// it lacks become "?"; a front with Unicode clipboard text uses
// OpenSealedClipText instead).
ClipResult TransformClipBlock(Direction direction, ClipForm form, std::string_view block, const KeyBlock& legacyKey,
                              SealedKeyring& keyring, unsigned codePage = kThreadAnsiCodePage);

}  // namespace vellumo
