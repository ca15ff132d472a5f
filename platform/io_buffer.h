#pragma once
// Memory for the file seam's reads and writes of large files. Page aligned:
// the system's copies between a buffer and the page cache stall on their own
// stores when the buffer sits a few bytes ahead of the file's page offset (4K
// aliasing; a heap block 16 bytes past a page boundary made reading a file
// from its start half as fast). It holds plaintext, so its bytes are gone
// when it goes. One implementation file per platform: io_buffer_win32.cpp,
// io_buffer_posix.cpp.
#include <cstddef>
#include <cstdint>
#include <utility>

namespace vellumo {

class IoBuffer {
 public:
  IoBuffer() = default;
  // Throws std::bad_alloc when the system has no memory for it.
  explicit IoBuffer(size_t size);
  ~IoBuffer() { Release(); }
  IoBuffer(IoBuffer&& other) noexcept
      : data_(std::exchange(other.data_, nullptr)), size_(std::exchange(other.size_, 0)) {}
  IoBuffer& operator=(IoBuffer&& other) noexcept {
    if (this != &other) {
      Release();
      data_ = std::exchange(other.data_, nullptr);
      size_ = std::exchange(other.size_, 0);
    }
    return *this;
  }
  IoBuffer(const IoBuffer&) = delete;
  IoBuffer& operator=(const IoBuffer&) = delete;

  uint8_t* data() const { return data_; }
  size_t size() const { return size_; }

 private:
  void Release();  // per platform: wipe or hand back, then empty

  uint8_t* data_ = nullptr;
  size_t size_ = 0;
};

}  // namespace vellumo
