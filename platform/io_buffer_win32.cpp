// I/O buffers on Windows: whole pages from VirtualAlloc (the heap put a 1 MiB
// block 64 bytes past a page boundary), handed back to the system, which
// clears them before anyone else gets them.
#include <windows.h>

#include <new>

#include "platform/io_buffer.h"

namespace vellumo {

IoBuffer::IoBuffer(size_t size) : size_(size) {
  data_ = static_cast<uint8_t*>(VirtualAlloc(nullptr, size == 0 ? 1 : size, MEM_COMMIT | MEM_RESERVE, PAGE_READWRITE));
  if (!data_) throw std::bad_alloc();
}

void IoBuffer::Release() {
  if (!data_) return;
  VirtualFree(data_, 0, MEM_RELEASE);
  data_ = nullptr;
  size_ = 0;
}

}  // namespace vellumo
