#include "fileenc/body_stream.h"

#include <algorithm>

namespace vellumo {

bool LegacyBodyStream::Transform(const BodyBuffer& buffer, uint8_t*, ByteView& out, unsigned threads) const {
  transformer_.Transform(buffer.bytes, buffer.length, threads);
  out = {buffer.bytes, buffer.length};
  return true;
}

uint64_t SealingStream::OutputLength(uint64_t length) const {
  const uint64_t chunks = length == 0 ? 1 : (length + kSealedChunkSize - 1) / kSealedChunkSize;
  return kSealedHeaderSize + length + chunks * kSealedTagSize;
}

bool SealingStream::Transform(const BodyBuffer& buffer, uint8_t* space, ByteView& out, unsigned threads) const {
  if (legacy_) legacy_->Transform(buffer.bytes, buffer.length, threads);
  out = {space, encoder_.SealBuffer(buffer.offset, buffer.bytes, buffer.length, buffer.last, space, threads)};
  return true;
}

uint64_t OpeningStream::OutputLength(uint64_t length) const {
  const uint64_t chunks = (length + kSealedUnitSize - 1) / kSealedUnitSize;
  return length - std::min(length, chunks * kSealedTagSize);
}

bool OpeningStream::Transform(const BodyBuffer& buffer, uint8_t* space, ByteView& out, unsigned threads) const {
  size_t produced = 0;
  out = {};
  if (!decoder_.OpenBuffer(buffer.offset, buffer.bytes, buffer.length, buffer.last, space, produced, threads)) {
    return false;
  }
  out = {space, produced};
  return true;
}

}  // namespace vellumo
