#include "clipboard/clip_codec.h"

#include <algorithm>
#include <cstdint>
#include <limits>
#include <vector>

#include <sodium.h>

#include "crypto/md5.h"
#include "crypto/nibble.h"
#include "crypto/rijndael.h"
#include "crypto/utf8.h"
#include "sealed/sealed_stream.h"

namespace vellumo {
namespace {

constexpr std::wstring_view kSeparator = L"|||&&|||";
constexpr size_t kSeparatorLength = 8;
constexpr size_t kCheckLength = 16;
constexpr size_t kFrameLength = 2 * kSeparatorLength + kCheckLength;  // 32

// The cipher buffer operations take 32-bit lengths, and the text of n bytes
// has 2n + 32 characters: larger blocks are left alone rather than truncated.
constexpr size_t kMaxClipBlock =
    std::min<size_t>(std::numeric_limits<uint32_t>::max(),
                     (std::numeric_limits<size_t>::max() - kFrameLength - 1) / 2);

std::wstring KeyCheckOf(const KeyBlock& key) {
  return Md5HexOf(key.data(), key.size()).substr(0, kCheckLength);
}

// The cipher text is ASCII, so its ANSI form in any code page is its characters.
std::string AsciiBytes(const std::wstring& text) {
  std::string bytes(text.size(), '\0');
  for (size_t i = 0; i < text.size(); ++i) bytes[i] = static_cast<char>(text[i]);
  return bytes;
}

}  // namespace

bool IsClipCipherText(std::wstring_view text) {
  return text.size() > kFrameLength && text.substr(0, kSeparatorLength) == kSeparator &&
         text.substr(text.size() - kSeparatorLength) == kSeparator;
}

bool KeyCheckMatches(std::wstring_view text, const KeyBlock& key) {
  return text.size() > kFrameLength && text.substr(kSeparatorLength, kCheckLength) == KeyCheckOf(key);
}

std::wstring EncodeClipText(const uint8_t* bytes, size_t n, const KeyBlock& key) {
  std::vector<uint8_t> copy(bytes, bytes + n);
  AesEncryptBuffer(copy.data(), static_cast<uint32_t>(n), key);
  std::wstring text;
  text.reserve(kFrameLength + 2 * n);
  text.append(kSeparator);
  text.append(KeyCheckOf(key));
  text.append(NibbleEncode(copy.data(), n));
  text.append(kSeparator);
  return text;
}

std::string DecodeClipBytes(std::string_view bytes, const KeyBlock& key) {
  const std::string_view text = bytes.substr(0, bytes.find('\0'));
  if (text.size() <= kFrameLength) return {};
  // Everything between the key check and the closing separator; only the low
  // four bits of each letter count, so lowercase letters decode alike.
  const std::string_view payload = text.substr(kSeparatorLength + kCheckLength, text.size() - kFrameLength);
  std::wstring letters(payload.size(), L'\0');
  for (size_t i = 0; i < payload.size(); ++i) letters[i] = static_cast<unsigned char>(payload[i]);
  std::vector<uint8_t> plain = NibbleDecode(letters);
  // An odd last letter (never written by EncodeClipText) gives a byte that is
  // decoded but not deciphered.
  AesDecryptBuffer(plain.data(), static_cast<uint32_t>(payload.size() / 2), key);
  size_t end = 0;
  while (end < plain.size() && plain[end] != 0) ++end;
  return std::string(reinterpret_cast<const char*>(plain.data()), end);
}

std::wstring DecodeClipText(std::string_view bytes, const KeyBlock& key, unsigned codePage) {
  return FromAnsi(DecodeClipBytes(bytes, key), codePage);
}

namespace {

bool IsBlank(wchar_t c) { return c == L' ' || c == L'\t' || c == L'\r' || c == L'\n'; }

// The text without its blanks and line breaks.
std::wstring WithoutBlanks(std::wstring_view text) {
  std::wstring out;
  out.reserve(text.size());
  for (wchar_t c : text) {
    if (!IsBlank(c)) out.push_back(c);
  }
  return out;
}

}  // namespace

ClipRefusal ClipRefusalOf(SealedError error) {
  switch (error) {
    case SealedError::kNone: return ClipRefusal::kNone;
    case SealedError::kNotSealed: return ClipRefusal::kNotCipherText;
    case SealedError::kUnsupported: return ClipRefusal::kUnsupported;
    case SealedError::kWrongKey: return ClipRefusal::kWrongKey;
    case SealedError::kDamaged: return ClipRefusal::kDamaged;
    case SealedError::kNoMemory: return ClipRefusal::kNoMemory;
  }
  return ClipRefusal::kDamaged;
}

bool IsSealedClipText(std::wstring_view text) {
  size_t matched = 0;
  for (wchar_t c : text) {
    if (IsBlank(c)) continue;
    if (c != kSealedClipPrefix[matched]) return false;
    if (++matched == kSealedClipPrefix.size()) return true;
  }
  return false;
}

std::wstring SealClipText(std::wstring_view text, SealedKeyring& keyring, SealedError& error) {
  const std::string utf8 = ToUtf8(text);
  std::vector<uint8_t> sealed;
  error = SealBytes(keyring, false, reinterpret_cast<const uint8_t*>(utf8.data()), utf8.size(), sealed);
  if (error != SealedError::kNone) return {};
  std::string base64(sodium_base64_ENCODED_LEN(sealed.size(), sodium_base64_VARIANT_ORIGINAL), '\0');
  sodium_bin2base64(base64.data(), base64.size(), sealed.data(), sealed.size(), sodium_base64_VARIANT_ORIGINAL);
  base64.pop_back();  // its terminating zero
  std::wstring out(kSealedClipPrefix);
  out.append(base64.begin(), base64.end());
  return out;
}

SealedError OpenSealedClipText(std::wstring_view cipherText, SealedKeyring& keyring, std::wstring& text) {
  text.clear();
  if (!IsSealedClipText(cipherText)) return SealedError::kNotSealed;
  // From here on the text says it is sealed: whatever does not fit was
  // changed or cut.
  const std::wstring letters = WithoutBlanks(cipherText).substr(kSealedClipPrefix.size());
  std::string ascii;
  ascii.reserve(letters.size());
  for (wchar_t c : letters) {
    if (c > 0x7F) return SealedError::kDamaged;
    ascii.push_back(static_cast<char>(c));
  }
  std::vector<uint8_t> sealed(ascii.size() / 4 * 3 + 3);
  size_t length = 0;
  const char* end = nullptr;
  if (sodium_base642bin(sealed.data(), sealed.size(), ascii.data(), ascii.size(), nullptr, &length, &end,
                        sodium_base64_VARIANT_ORIGINAL) != 0 ||
      end != ascii.data() + ascii.size()) {
    return SealedError::kDamaged;
  }
  std::vector<uint8_t> plain;
  bool packed = false;
  SealedError opened = OpenSealedBytes(sealed.data(), length, keyring, plain, packed);
  if (opened == SealedError::kNotSealed) opened = SealedError::kDamaged;
  if (opened != SealedError::kNone) return opened;
  const std::string_view utf8(reinterpret_cast<const char*>(plain.data()), plain.size());
  const bool isText = !packed && FromUtf8(utf8, text);
  sodium_memzero(plain.data(), plain.size());
  if (!isText) {
    text.clear();
    return SealedError::kUnsupported;
  }
  return SealedError::kNone;
}

ClipResult TransformClipBlock(Direction direction, ClipForm form, std::string_view block, const KeyBlock& legacyKey,
                              SealedKeyring& keyring, unsigned codePage) {
  ClipResult result;
  // Only the text is taken: never what the system's block holds after its zero.
  block = ClipboardText(block);
  const std::wstring text = FromAnsi(block, codePage);
  if (direction == Direction::kEncrypt) {
    if (IsClipCipherText(text) || IsSealedClipText(text)) {
      result.refusal = ClipRefusal::kAlreadyCipherText;
    } else if (form == ClipForm::kLegacy) {
      if (auto legacy = TransformClipText(direction, block, legacyKey, codePage)) {
        result.block = std::move(*legacy);
      } else {
        result.refusal = block.empty() ? ClipRefusal::kEmpty : ClipRefusal::kTooLarge;
      }
    } else if (text.empty()) {
      result.refusal = ClipRefusal::kEmpty;
    } else {
      SealedError error = SealedError::kNone;
      const std::wstring sealed = SealClipText(text, keyring, error);
      result.refusal = ClipRefusalOf(error);
      if (error == SealedError::kNone) {
        result.block.assign(sealed.begin(), sealed.end());  // ASCII
        result.block.push_back('\0');
      }
    }
    return result;
  }
  if (IsSealedClipText(text)) {
    std::wstring opened;
    result.refusal = ClipRefusalOf(OpenSealedClipText(text, keyring, opened));
    if (result.refusal == ClipRefusal::kNone) {
      result.block = ToAnsi(opened, codePage);
      result.block.push_back('\0');
    }
  } else if (!IsClipCipherText(text)) {
    result.refusal = ClipRefusal::kNotCipherText;
  } else if (!KeyCheckMatches(text, legacyKey)) {
    result.refusal = ClipRefusal::kWrongKey;
  } else {
    result.block = *TransformClipText(direction, block, legacyKey, codePage);
  }
  return result;
}

std::string_view ClipboardText(std::string_view block) {
  const size_t zero = block.find('\0');
  return zero == std::string_view::npos ? block : block.substr(0, zero + 1);
}

std::optional<std::string> TransformClipText(Direction direction, std::string_view block, const KeyBlock& key,
                                             unsigned codePage) {
  const std::wstring text = FromAnsi(block, codePage);
  std::string result;
  if (direction == Direction::kEncrypt) {
    // An empty block would give a 32-character text that no decrypt accepts.
    if (IsClipCipherText(text) || block.empty() || block.size() > kMaxClipBlock) return std::nullopt;
    result = AsciiBytes(EncodeClipText(reinterpret_cast<const uint8_t*>(block.data()), block.size(), key));
  } else {
    if (!IsClipCipherText(text) || !KeyCheckMatches(text, key)) return std::nullopt;
    // The decrypted bytes go back as they are: a detour through wide text
    // would replace byte sequences the code page lacks.
    result = DecodeClipBytes(block, key);
  }
  result.push_back('\0');
  return result;
}

}  // namespace vellumo
