#include "crypto/rc4.h"

#include <utility>

namespace vellumo {

void CEncryptRc4::Schedule(const uint8_t* key, uint32_t keyLength) {
  x_ = y_ = 0;
  for (int i = 0; i < 256; ++i) s_[i] = static_cast<uint8_t>(i);
  uint8_t j = 0;
  for (int i = 0; i < 256; ++i) {
    j = static_cast<uint8_t>(j + s_[i] + key[i % keyLength]);
    std::swap(s_[i], s_[j]);
  }
}

void CEncryptRc4::Crypt(uint8_t* buffer, uint32_t length) {
  uint8_t x = static_cast<uint8_t>(x_), y = static_cast<uint8_t>(y_);
  for (uint32_t i = 0; i < length; ++i) {
    x = static_cast<uint8_t>(x + 1);
    y = static_cast<uint8_t>(y + s_[x]);
    std::swap(s_[x], s_[y]);
    buffer[i] ^= s_[static_cast<uint8_t>(s_[x] + s_[y])];
  }
  x_ = x;
  y_ = y;
}

void CEncryptRc4::CryptWithKey(uint8_t* buffer, uint32_t length, const uint8_t* key, uint32_t keyLength) {
  Schedule(key, keyLength);
  Crypt(buffer, length);
}

void Rc4CryptBuffer(uint8_t* buffer, uint32_t length, const uint8_t* key, uint32_t keyLength) {
  CEncryptRc4 rc4;
  rc4.CryptWithKey(buffer, length, key, keyLength);
}

}  // namespace vellumo
