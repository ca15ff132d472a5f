#include "crypto/crc32.h"

namespace vellumo {

CEncryptCrc32::CEncryptCrc32() {
  for (uint32_t i = 0; i < 256; ++i) {
    uint32_t c = i;
    for (int k = 0; k < 8; ++k) c = (c & 1) ? (c >> 1) ^ 0xEDB88320u : c >> 1;
    table_[i] = c;
  }
}

uint32_t CEncryptCrc32::Compute(const void* data, size_t length) const {
  const uint8_t* p = static_cast<const uint8_t*>(data);
  uint32_t crc = 0xFFFFFFFFu;
  for (size_t i = 0; i < length; ++i) crc = (crc >> 8) ^ table_[(crc ^ p[i]) & 0xFF];
  return ~crc;
}

uint32_t Crc32Of(const void* data, size_t length) { return CEncryptCrc32().Compute(data, length); }

}  // namespace vellumo
