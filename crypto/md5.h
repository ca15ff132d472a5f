#pragma once
// MD5 (RFC 1321), finished as 32 uppercase hexadecimal digits: the clipboard
// format's key check.
#include <cstddef>
#include <cstdint>
#include <string>

namespace vellumo {

class CEncryptMd5 {
 public:
  CEncryptMd5();
  void Update(const void* data, size_t length);
  std::wstring FinishHex();

 private:
  void Transform(const uint8_t block[64]);

  uint8_t buffer_[64] = {};
  uint32_t bitCount_[2] = {0, 0};  // low word first
  uint32_t state_[4];
};

std::wstring Md5HexOf(const void* data, size_t length);

}  // namespace vellumo
