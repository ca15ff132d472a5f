#include "app/update/updater_signature.h"

#include <sodium.h>

#include <array>

namespace vellumo {
namespace {

int HexDigit(wchar_t c) {
  if (c >= L'0' && c <= L'9') return c - L'0';
  if (c >= L'a' && c <= L'f') return c - L'a' + 10;
  if (c >= L'A' && c <= L'F') return c - L'A' + 10;
  return -1;
}

// Exactly N bytes as 2N hexadecimal digits, nothing else around them.
template <size_t N, typename Text>
bool FromHex(Text text, std::array<unsigned char, N>& out) {
  if (text.size() != 2 * N) return false;
  for (size_t i = 0; i < N; ++i) {
    const int high = HexDigit(static_cast<wchar_t>(text[2 * i]));
    const int low = HexDigit(static_cast<wchar_t>(text[2 * i + 1]));
    if (high < 0 || low < 0) return false;
    out[i] = static_cast<unsigned char>(high << 4 | low);
  }
  return true;
}

}  // namespace

bool UpdaterSignatureValid(const uint8_t* data, size_t size, std::wstring_view signatureHex,
                           std::string_view publicKeyHex) {
  std::array<unsigned char, crypto_sign_PUBLICKEYBYTES> key;
  std::array<unsigned char, crypto_sign_BYTES> signature;
  if (!FromHex(publicKeyHex, key) || !FromHex(signatureHex, signature)) return false;
  if (sodium_init() < 0 || size > kMaxUpdaterBytes) return false;
  return crypto_sign_verify_detached(signature.data(), data, size, key.data()) == 0;
}

}  // namespace vellumo
