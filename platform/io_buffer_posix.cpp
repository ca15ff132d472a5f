// I/O buffers on POSIX: aligned operator new, so the sanitizers watch them,
// and wiped before they go back to the heap.
#include <string.h>

#include <new>

#include "platform/io_buffer.h"

namespace vellumo {
namespace {

constexpr std::align_val_t kPage{4096};

}  // namespace

IoBuffer::IoBuffer(size_t size) : data_(static_cast<uint8_t*>(::operator new(size, kPage))), size_(size) {}

void IoBuffer::Release() {
  if (!data_) return;
  ::explicit_bzero(data_, size_);
  ::operator delete(data_, kPage);
  data_ = nullptr;
  size_ = 0;
}

}  // namespace vellumo
