// The updater's signature: a key pair made here, at test time, signs an
// updater; only that signature over exactly those bytes, checked against that
// public key, lets it run.
#include <gtest/gtest.h>
#include <sodium.h>

#include <array>
#include <cwctype>
#include <string>
#include <vector>

#include "app/update/updater_signature.h"

namespace vellumo {
namespace {

template <typename Bytes>
std::string Hex(const Bytes& bytes) {
  static const char kDigits[] = "0123456789abcdef";
  std::string out;
  for (unsigned char b : bytes) {
    out += kDigits[b >> 4];
    out += kDigits[b & 15];
  }
  return out;
}

struct KeyPair {
  std::array<unsigned char, crypto_sign_PUBLICKEYBYTES> publicKey;
  std::array<unsigned char, crypto_sign_SECRETKEYBYTES> secretKey;
  KeyPair() { crypto_sign_keypair(publicKey.data(), secretKey.data()); }
  std::wstring Sign(const std::vector<uint8_t>& data) const {
    std::array<unsigned char, crypto_sign_BYTES> signature;
    crypto_sign_detached(signature.data(), nullptr, data.data(), data.size(), secretKey.data());
    const std::string hex = Hex(signature);
    return std::wstring(hex.begin(), hex.end());
  }
};

TEST(UpdaterSignature, OnlyTheKeysSignatureOfTheseBytesPasses) {
  ASSERT_GE(sodium_init(), 0);
  const KeyPair vendor, stranger;
  const std::vector<uint8_t> updater = {'M', 'Z', 0x90, 0, 3, 0, 0, 0, 4, 0, 0, 0, 0xFF, 0xFF};
  std::vector<uint8_t> changed = updater;
  changed[5] ^= 1;
  std::vector<uint8_t> longer = updater;
  longer.push_back(0);
  const std::wstring good = vendor.Sign(updater);
  std::wstring upper = good;
  for (wchar_t& c : upper) c = static_cast<wchar_t>(towupper(c));
  std::wstring flipped = good;
  flipped[0] = flipped[0] == L'0' ? L'1' : L'0';
  const std::string key = Hex(vendor.publicKey);

  const struct {
    const char* what;
    const std::vector<uint8_t>* data;
    std::wstring signature;
    std::string publicKey;
    bool valid;
  } cases[] = {
      {"the vendor's signature", &updater, good, key, true},
      {"in upper case", &updater, upper, key, true},
      {"a changed byte", &changed, good, key, false},
      {"a byte more", &longer, good, key, false},
      {"a changed signature", &updater, flipped, key, false},
      {"someone else's signature", &updater, stranger.Sign(updater), key, false},
      {"no signature", &updater, L"", key, false},
      {"a signature cut short", &updater, good.substr(0, 126), key, false},
      {"a signature with more after it", &updater, good + L"00", key, false},
      {"not hex", &updater, std::wstring(128, L'g'), key, false},
      {"a build without a key", &updater, good, "", false},
      {"another key", &updater, good, Hex(stranger.publicKey), false},
  };
  for (const auto& c : cases) {
    EXPECT_EQ(UpdaterSignatureValid(c.data->data(), c.data->size(), c.signature, c.publicKey), c.valid) << c.what;
  }
}

}  // namespace
}  // namespace vellumo
