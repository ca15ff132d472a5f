#include "clipboard/clip_codec.h"

#include <algorithm>
#include <cstdint>
#include <limits>
#include <vector>

#include "crypto/md5.h"
#include "crypto/nibble.h"
#include "crypto/rijndael.h"

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
