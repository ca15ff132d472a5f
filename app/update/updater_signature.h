#pragma once
// The updater named by the update description runs only when it carries the
// vendor's signature: an Ed25519 signature (libsodium's crypto_sign_detached)
// of the updater file's bytes, given in the description as 128 hexadecimal
// digits under the key "signature", checked against the public key built into
// the program (64 hexadecimal digits). The description itself comes over plain
// HTTP and proves nothing; the signature is what lets the updater run.
#include <cstddef>
#include <cstdint>
#include <string_view>

namespace vellumo {

// The largest updater the check reads to verify: far above any real one.
constexpr size_t kMaxUpdaterBytes = 256u << 20;

// True only for a well-formed signature by the key's owner of exactly these
// bytes. An empty or malformed public key (a build without one) accepts
// nothing.
bool UpdaterSignatureValid(const uint8_t* data, size_t size, std::wstring_view signatureHex,
                           std::string_view publicKeyHex);

}  // namespace vellumo
