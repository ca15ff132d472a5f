#pragma once
// Standard RC4, no keystream bytes dropped. Encryption and decryption are one
// operation.
#include <cstdint>

namespace vellumo {

class CEncryptRc4 {
 public:
  void Schedule(const uint8_t* key, uint32_t keyLength);  // keyLength >= 1
  void Crypt(uint8_t* buffer, uint32_t length);
  void CryptWithKey(uint8_t* buffer, uint32_t length, const uint8_t* key, uint32_t keyLength);

 private:
  int x_ = 0;
  int y_ = 0;
  uint8_t s_[256] = {};
};

void Rc4CryptBuffer(uint8_t* buffer, uint32_t length, const uint8_t* key, uint32_t keyLength);

}  // namespace vellumo
