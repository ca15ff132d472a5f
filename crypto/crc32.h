#pragma once
// CRC-32 of ISO-HDLC / IEEE 802.3 (zlib's): the key check in file headers.
#include <cstddef>
#include <cstdint>

namespace vellumo {

class CEncryptCrc32 {
 public:
  CEncryptCrc32();
  uint32_t Compute(const void* data, size_t length) const;

 private:
  uint32_t table_[256];
};

uint32_t Crc32Of(const void* data, size_t length);

}  // namespace vellumo
