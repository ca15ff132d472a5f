#pragma once
// Owners of Win32 resources: each closes what it holds when it goes, so no
// early return leaks a handle, a registry key, a mapped view or a COM
// reference. Header only; move-only.
#include <windows.h>
#include <unknwn.h>

#include <utility>

namespace vellumo {

// A resource described by Traits: its type, the value meaning "nothing held"
// (not always a constant expression, as INVALID_HANDLE_VALUE) and its release.
template <typename Traits>
class Owner {
 public:
  using T = typename Traits::Type;

  Owner() = default;
  explicit Owner(T value) : value_(value) {}
  ~Owner() { reset(); }
  Owner(Owner&& other) noexcept : value_(std::exchange(other.value_, Traits::None())) {}
  Owner& operator=(Owner&& other) noexcept {
    if (this != &other) {
      reset();
      value_ = std::exchange(other.value_, Traits::None());
    }
    return *this;
  }
  Owner(const Owner&) = delete;
  Owner& operator=(const Owner&) = delete;

  T get() const { return value_; }
  explicit operator bool() const { return value_ != Traits::None(); }
  // For an out parameter: drops what is held and hands the slot over.
  T* receive() {
    reset();
    return &value_;
  }
  void reset(T value = Traits::None()) {
    if (value_ != Traits::None()) Traits::Close(value_);
    value_ = value;
  }

 private:
  T value_ = Traits::None();
};

struct HandleTraits {
  using Type = HANDLE;
  static HANDLE None() { return nullptr; }
  static void Close(HANDLE h) { CloseHandle(h); }
};
struct FileTraits {
  using Type = HANDLE;
  static HANDLE None() { return INVALID_HANDLE_VALUE; }
  static void Close(HANDLE h) { CloseHandle(h); }
};
struct FindTraits {
  using Type = HANDLE;
  static HANDLE None() { return INVALID_HANDLE_VALUE; }
  static void Close(HANDLE h) { FindClose(h); }
};
struct KeyTraits {
  using Type = HKEY;
  static HKEY None() { return nullptr; }
  static void Close(HKEY h) { RegCloseKey(h); }
};
struct ViewTraits {
  using Type = void*;
  static void* None() { return nullptr; }
  static void Close(void* view) { UnmapViewOfFile(view); }
};

struct LocalTraits {
  using Type = void*;
  static void* None() { return nullptr; }
  static void Close(void* memory) { LocalFree(memory); }
};

// Kernel objects whose failure value is null (mappings, threads, processes).
using UniqueHandle = Owner<HandleTraits>;
// What CreateFile opens (failure: INVALID_HANDLE_VALUE).
using UniqueFile = Owner<FileTraits>;
using UniqueFind = Owner<FindTraits>;
using UniqueKey = Owner<KeyTraits>;
using UniqueView = Owner<ViewTraits>;
// What the system allocates for the caller with LocalAlloc (security descriptors).
using UniqueLocal = Owner<LocalTraits>;

// One reference to a COM object.
template <typename I>
class ComPtr {
 public:
  ComPtr() = default;
  ~ComPtr() { reset(); }
  ComPtr(ComPtr&& other) noexcept : p_(std::exchange(other.p_, nullptr)) {}
  ComPtr& operator=(ComPtr&& other) noexcept {
    if (this != &other) {
      reset();
      p_ = std::exchange(other.p_, nullptr);
    }
    return *this;
  }
  ComPtr(const ComPtr&) = delete;
  ComPtr& operator=(const ComPtr&) = delete;

  // Takes over the reference `p` came with (an out parameter's).
  static ComPtr Adopt(I* p) {
    ComPtr owner;
    owner.p_ = p;
    return owner;
  }
  // Takes a reference of its own to `p`.
  static ComPtr Share(I* p) {
    ComPtr owner;
    owner.p_ = p;
    if (p) p->AddRef();
    return owner;
  }

  I* get() const { return p_; }
  I* operator->() const { return p_; }
  explicit operator bool() const { return p_ != nullptr; }
  void reset() {
    if (p_) std::exchange(p_, nullptr)->Release();
  }

 private:
  I* p_ = nullptr;
};

}  // namespace vellumo
