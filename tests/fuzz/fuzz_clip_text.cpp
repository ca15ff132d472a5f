// Clipboard text decoding and encoding on arbitrary clipboard blocks, read as
// code page 936 text. A block that encrypts must decrypt to its bytes again,
// up to the first zero byte.
#include <cstdint>
#include <string>
#include <string_view>

#include "clipboard/clip_codec.h"
#include "fuzz_support.h"

namespace {
const vellumo::KeyBlock kKey = {'c', 'l', 'i', 'p', 0xd6, 0xd0};
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  using namespace vellumo;
  const std::string_view block(reinterpret_cast<const char*>(data), size);
  TransformClipText(ClipMode::kDecrypt, block, kKey, 936);
  if (size >= 33) DecodeClipText(block, kKey, 936);

  const auto encrypted = TransformClipText(ClipMode::kEncrypt, block, kKey, 936);
  if (!encrypted) return 0;
  const auto decrypted = TransformClipText(ClipMode::kDecrypt, *encrypted, kKey, 936);
  if (!decrypted) fuzz::Fail("an encrypted block does not decrypt");
  // The bytes up to the first zero, as they were: even sequences the code page
  // lacks come back unchanged.
  const std::string expected = std::string(block.substr(0, block.find('\0'))) + '\0';
  if (*decrypted != expected) {
    fuzz::Fail("decrypting gives " + fuzz::Hex(*decrypted) + ", not " + fuzz::Hex(expected));
  }
  return 0;
}
