#pragma once
// The two choices of every cipher run: which cipher, and which way.
#include <cstdint>

namespace vellumo {

// A cipher id as encrypted-file headers and the settings value "TYPE" store
// it: 0 AES, 1 DES, 2 RC4. A header read from a file can hold any 32-bit
// value, and an unknown one must be read back as it is (the engine refuses to
// decrypt such a file and leaves it untouched), so this is the id itself under
// one name rather than an enumeration that would have to reject it.
class CipherAlgorithm {
 public:
  constexpr CipherAlgorithm(int32_t id = 0) : id_(id) {}
  constexpr operator int32_t() const { return id_; }
  // One of the three ciphers the program has.
  constexpr bool IsKnown() const { return id_ >= 0 && id_ <= 2; }

 private:
  int32_t id_;
};

inline constexpr CipherAlgorithm kAes{0};
inline constexpr CipherAlgorithm kDes{1};
inline constexpr CipherAlgorithm kRc4{2};

// Encrypt or decrypt: of a file run, a chunk transform, the clipboard text.
enum class Direction { kEncrypt, kDecrypt };

}  // namespace vellumo
