#include "fileenc/body_stream.h"

namespace vellumo {
namespace {

ByteView View(const std::vector<uint8_t>& bytes) { return {bytes.data(), bytes.size()}; }

}  // namespace

bool LegacyBodyStream::Next(uint8_t* buffer, size_t length, ByteView& out) {
  transformer_.Transform(buffer, length);
  out = {buffer, length};
  return true;
}

bool LegacyBodyStream::End(ByteView& out) {
  out = {};
  return true;
}

bool SealingStream::Next(uint8_t* buffer, size_t length, ByteView& out) {
  if (legacy_) legacy_->Transform(buffer, length);
  out = View(encoder_.Feed(buffer, length));
  return true;
}

bool SealingStream::End(ByteView& out) {
  out = View(encoder_.Finish());
  return true;
}

bool OpeningStream::Next(uint8_t* buffer, size_t length, ByteView& out) {
  if (!decoder_.Feed(buffer, length)) return false;
  out = View(decoder_.output());
  return true;
}

bool OpeningStream::End(ByteView& out) {
  if (!decoder_.Finish()) return false;
  out = View(decoder_.output());
  return true;
}

}  // namespace vellumo
