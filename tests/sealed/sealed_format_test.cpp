// The sealed format on its own: the known-answer files of another
// implementation, opened and written again byte for byte; the header's
// bounds; the key cache; and every way of changing a sealed file.
#include <gtest/gtest.h>

#include <algorithm>
#include <functional>
#include <string>
#include <vector>

#include "sealed/sealed_format.h"
#include "sealed/sealed_keys.h"
#include "sealed/sealed_stream.h"
#include "test_support.h"

namespace vellumo {
namespace {

using Bytes = std::vector<uint8_t>;
using testing::FromHex;
using testing::RandomBytes;
using testing::ReadFileBytes;
using testing::SealedVectorFile;
using testing::Widen;

// Cheap enough for many derivations under the sanitizers, and within what a
// reader accepts.
constexpr KdfParams kTestKdf = kLightestKdf;

template <size_t N>
std::array<uint8_t, N> Array(const std::string& hex) {
  const Bytes bytes = FromHex(hex);
  std::array<uint8_t, N> out{};
  std::copy_n(bytes.begin(), N, out.begin());
  return out;
}

// Seals `plain` fed in pieces of the given sizes (the last size repeats).
Bytes SealInPieces(const SealedKeys& keys, const KdfSalt& salt, const KdfParams& kdf, bool packed, const Bytes& plain,
                   const std::vector<size_t>& pieces, const FileNonce* nonce = nullptr) {
  SealedEncoder encoder(keys, salt, kdf, packed, nonce);
  Bytes out;
  size_t at = 0;
  for (size_t i = 0; at < plain.size(); ++i) {
    const size_t n = std::min(pieces[std::min(i, pieces.size() - 1)], plain.size() - at);
    const Bytes& part = encoder.Feed(plain.data() + at, n);
    out.insert(out.end(), part.begin(), part.end());
    at += n;
  }
  const Bytes& rest = encoder.Finish();
  out.insert(out.end(), rest.begin(), rest.end());
  return out;
}

// Opens sealed bytes fed to the decoder in pieces; the error says how it ended.
SealedError OpenInPieces(SealedKeyring& keyring, const Bytes& sealed, const std::vector<size_t>& pieces, Bytes& plain) {
  plain.clear();
  SealedHeader header;
  const SealedKeys* keys = nullptr;
  if (SealedError e = OpenSealedHeader(sealed.data(), sealed.size(), keyring, header, keys); e != SealedError::kNone) {
    return e;
  }
  SealedHeaderBytes headerBytes;
  std::copy_n(sealed.begin(), headerBytes.size(), headerBytes.begin());
  SealedDecoder decoder(*keys, header, headerBytes);
  size_t at = kSealedHeaderSize;
  for (size_t i = 0; at < sealed.size(); ++i) {
    const size_t n = std::min(pieces[std::min(i, pieces.size() - 1)], sealed.size() - at);
    if (!decoder.Feed(sealed.data() + at, n)) return SealedError::kDamaged;
    plain.insert(plain.end(), decoder.output().begin(), decoder.output().end());
    at += n;
  }
  if (!decoder.Finish()) return SealedError::kDamaged;
  plain.insert(plain.end(), decoder.output().begin(), decoder.output().end());
  return SealedError::kNone;
}

TEST(SealedFormat, KnownAnswerFilesOpenAndAreWrittenAgainByteForByte) {
  const auto manifest = testing::SealedVectorManifest();
  ASSERT_GE(manifest.at("files").size(), 6u);
  for (const auto& c : manifest.at("files")) {
    SCOPED_TRACE(c.at("name").get<std::string>());
    const Bytes plain = ReadFileBytes(SealedVectorFile(c.at("plain")));
    const Bytes sealed = ReadFileBytes(SealedVectorFile(c.at("sealed")));
    const KdfParams kdf{c.at("passes"), c.at("memory_kib")};
    const auto salt = Array<16>(c.at("salt_hex"));
    const auto nonce = Array<16>(c.at("nonce_hex"));
    SealedKeyring keyring(Widen(c.at("key_text")), kdf, salt);

    Bytes opened;
    bool packed = !c.at("packed").get<bool>();
    ASSERT_EQ(OpenSealedBytes(sealed.data(), sealed.size(), keyring, opened, packed), SealedError::kNone);
    EXPECT_EQ(opened, plain);
    EXPECT_EQ(packed, c.at("packed").get<bool>());
    // Fed in pieces that cut through headers, chunks and tags alike.
    EXPECT_EQ(OpenInPieces(keyring, sealed, {1, 83, 7, kSealedUnitSize, kSealedUnitSize + 1, 5000}, opened),
              SealedError::kNone);
    EXPECT_EQ(opened, plain);

    SealedError error = SealedError::kNone;
    const SealedKeys* keys = keyring.WriteKeys(error);
    ASSERT_NE(keys, nullptr);
    EXPECT_EQ(SealInPieces(*keys, salt, kdf, c.at("packed"), plain, {kSealedChunkSize}, &nonce), sealed);
    EXPECT_EQ(SealInPieces(*keys, salt, kdf, c.at("packed"), plain, {3, kSealedChunkSize - 3, 1, 99999}, &nonce),
              sealed);
    EXPECT_EQ(keyring.derivations(), 1);
  }
}

TEST(SealedFormat, TheSameKeyTextGivesTheSameKeyWhateverItsCharacters) {
  // No code page and no cut: a character code page 936 lacks counts, and so
  // does everything after the 16th byte.
  const KdfSalt salt{};
  const std::vector<std::wstring> keys = {L"密钥", L"密钥?", L"密钥\U0001F511", L"0123456789abcdef",
                                          L"0123456789abcdefX", L""};
  std::vector<KeyCheck> checks;
  for (const std::wstring& text : keys) {
    SealedKeyring keyring(text, kTestKdf, salt);
    SealedError error = SealedError::kNone;
    const SealedKeys* derived = keyring.WriteKeys(error);
    ASSERT_NE(derived, nullptr);
    checks.push_back(derived->check);
  }
  for (size_t i = 0; i < checks.size(); ++i) {
    for (size_t j = i + 1; j < checks.size(); ++j) EXPECT_NE(checks[i], checks[j]) << i << " " << j;
  }
}

TEST(SealedFormat, HeadersOutsideWhatAVersion1WriterWritesAreRefusedBeforeAnyDerivation) {
  SealedKeyring writer(L"密钥", kTestKdf);
  const Bytes plain = RandomBytes(100, 1);
  Bytes sealed;
  ASSERT_EQ(SealBytes(writer, false, plain.data(), plain.size(), sealed), SealedError::kNone);
  auto put32 = [](Bytes& b, size_t at, uint32_t v) {
    for (int i = 0; i < 4; ++i) b[at + i] = static_cast<uint8_t>(v >> (8 * i));
  };
  struct Case {
    const char* what;
    std::function<void(Bytes&)> change;
    SealedError expected;
  };
  const std::vector<Case> cases = {
      {"a legacy header", [](Bytes& b) { b[0] = 0x87; b[1] = 0x65; b[2] = 0x43; b[3] = 0x21; }, SealedError::kNotSealed},
      {"magic with a changed line ending", [](Bytes& b) { b[4] = 0x0A; }, SealedError::kNotSealed},
      {"cut inside the header", [](Bytes& b) { b.resize(kSealedHeaderSize - 1); }, SealedError::kDamaged},
      {"version 2", [](Bytes& b) { b[8] = 2; }, SealedError::kUnsupported},
      {"version 0", [](Bytes& b) { b[8] = 0; }, SealedError::kUnsupported},
      {"an unknown flag", [](Bytes& b) { b[9] |= 0x02; }, SealedError::kUnsupported},
      {"another key derivation", [](Bytes& b) { b[10] = 2; }, SealedError::kUnsupported},
      {"the zero byte set", [](Bytes& b) { b[11] = 1; }, SealedError::kUnsupported},
      {"no passes", [put32](Bytes& b) { put32(b, 12, 0); }, SealedError::kUnsupported},
      {"too many passes", [put32](Bytes& b) { put32(b, 12, kMaxKdfPasses + 1); }, SealedError::kUnsupported},
      {"too little memory", [put32](Bytes& b) { put32(b, 16, kLightestKdf.memoryKiB - 1); }, SealedError::kUnsupported},
      {"too much memory", [put32](Bytes& b) { put32(b, 16, kMaxKdfMemoryKiB + 1); }, SealedError::kUnsupported},
      {"gigabytes of memory", [put32](Bytes& b) { put32(b, 16, 0xFFFFFFFF); }, SealedError::kUnsupported},
      {"too much work at once",
       [put32](Bytes& b) {
         put32(b, 12, kMaxKdfPasses);
         put32(b, 16, kMaxKdfMemoryKiB);
       },
       SealedError::kUnsupported},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    Bytes changed = sealed;
    c.change(changed);
    SealedKeyring reader(L"密钥");
    Bytes opened;
    bool packed = false;
    EXPECT_EQ(OpenSealedBytes(changed.data(), changed.size(), reader, opened, packed), c.expected);
    EXPECT_TRUE(opened.empty());
    EXPECT_EQ(reader.derivations(), 0);
  }
  // The bounds themselves are accepted.
  EXPECT_TRUE(KdfAccepted(kLightestKdf));
  EXPECT_TRUE(KdfAccepted(kDefaultKdf));
  EXPECT_TRUE(KdfAccepted({kMaxKdfPasses, kMaxKdfMemoryKiB / kMaxKdfPasses}));
  EXPECT_TRUE(KdfAccepted({kMaxKdfWork / kMaxKdfMemoryKiB, kMaxKdfMemoryKiB}));
}

TEST(SealedFormat, OneDerivationPerSaltAndParameters) {
  SealedKeyring run(L"密钥", kTestKdf);
  SealedError error = SealedError::kNone;
  const SealedKeys* first = run.WriteKeys(error);
  EXPECT_EQ(run.WriteKeys(error), first);  // every file of the run
  EXPECT_EQ(run.derivations(), 1);

  // Reading files of two other runs: one derivation for each run's salt.
  SealedKeyring otherRun(L"密钥", kTestKdf);
  SealedKeyring thirdRun(L"密钥", {2, kTestKdf.memoryKiB});
  EXPECT_NE(run.writeSalt(), otherRun.writeSalt());
  for (int round = 0; round < 3; ++round) {
    for (SealedKeyring* writer : {&otherRun, &thirdRun, &run}) {
      const Bytes plain = RandomBytes(10, static_cast<unsigned>(round));
      Bytes sealed, opened;
      bool packed = true;
      ASSERT_EQ(SealBytes(*writer, false, plain.data(), plain.size(), sealed), SealedError::kNone);
      ASSERT_EQ(OpenSealedBytes(sealed.data(), sealed.size(), run, opened, packed), SealedError::kNone);
      EXPECT_EQ(opened, plain);
      EXPECT_FALSE(packed);
    }
  }
  EXPECT_EQ(run.derivations(), 3);
  // The same salt under other parameters is another key.
  EXPECT_NE(run.Keys(run.writeSalt(), {2, kTestKdf.memoryKiB}, error), first);
  EXPECT_EQ(run.derivations(), 4);
}

TEST(SealedFormat, StreamsOfEveryLengthOpenWhateverTheirPieces) {
  SealedKeyring keyring(L"key", kTestKdf);
  SealedError error = SealedError::kNone;
  const SealedKeys* keys = keyring.WriteKeys(error);
  ASSERT_NE(keys, nullptr);
  const size_t c = kSealedChunkSize;
  for (size_t length : {size_t{0}, size_t{1}, c - 1, c, c + 1, 2 * c, 2 * c + 5, 5 * c - 3, 24 * c}) {
    SCOPED_TRACE(length);
    const Bytes plain = RandomBytes(length, static_cast<unsigned>(length));
    const Bytes sealed =
        SealInPieces(*keys, keyring.writeSalt(), keyring.writeKdf(), false, plain, {1024 * 1024, 1, c, 3 * c + 1});
    const size_t chunks = std::max<size_t>(1, (length + c - 1) / c);
    EXPECT_EQ(sealed.size(), kSealedHeaderSize + length + chunks * kSealedTagSize);
    for (const auto& pieces :
         std::vector<std::vector<size_t>>{{1}, {kSealedUnitSize}, {1024 * 1024}, {7, 65000}, {4 * 1024 * 1024}}) {
      if (pieces.front() == 1 && length > 3 * c) continue;  // byte by byte only where it is quick
      Bytes opened;
      EXPECT_EQ(OpenInPieces(keyring, sealed, pieces, opened), SealedError::kNone);
      EXPECT_EQ(opened, plain);
    }
  }
}

TEST(SealedFormat, EveryChangeWrongKeyAndCutIsRefused) {
  SealedKeyring writer(L"密钥", kTestKdf);
  const size_t c = kSealedChunkSize, u = kSealedUnitSize, h = kSealedHeaderSize;
  const Bytes plain = RandomBytes(2 * c + 100, 7);  // three chunks, the last short
  Bytes sealed, other, full;
  ASSERT_EQ(SealBytes(writer, false, plain.data(), plain.size(), sealed), SealedError::kNone);
  // Another file of the same run: same key and salt, its own nonce.
  ASSERT_EQ(SealBytes(writer, false, plain.data(), plain.size(), other), SealedError::kNone);
  const Bytes twoWhole = RandomBytes(2 * c, 8);
  ASSERT_EQ(SealBytes(writer, false, twoWhole.data(), twoWhole.size(), full), SealedError::kNone);
  ASSERT_EQ(sealed.size(), h + 2 * u + 100 + kSealedTagSize);

  auto chunk = [&](const Bytes& file, size_t i) {
    const size_t from = h + i * u;
    return Bytes(file.begin() + static_cast<ptrdiff_t>(from),
                 file.begin() + static_cast<ptrdiff_t>(std::min(file.size(), from + u)));
  };
  auto join = [&](const Bytes& file, std::vector<Bytes> parts) {
    Bytes out(file.begin(), file.begin() + static_cast<ptrdiff_t>(h));
    for (const Bytes& p : parts) out.insert(out.end(), p.begin(), p.end());
    return out;
  };
  auto flip = [](Bytes b, size_t at, uint8_t bits = 0x01) {
    b[at] ^= bits;
    return b;
  };
  struct Case {
    const char* what;
    Bytes bytes;
    SealedError expected;
  };
  const std::vector<Case> cases = {
      {"packed flag set", flip(sealed, 9), SealedError::kDamaged},
      {"passes changed", flip(sealed, 12, 0x02), SealedError::kWrongKey},
      {"memory changed", flip(sealed, 17), SealedError::kWrongKey},
      {"salt changed", flip(sealed, 20), SealedError::kWrongKey},
      {"file nonce changed", flip(sealed, 36), SealedError::kDamaged},
      {"key check changed", flip(sealed, 52), SealedError::kWrongKey},
      {"first chunk changed", flip(sealed, h), SealedError::kDamaged},
      {"a tag changed", flip(sealed, h + u - 1), SealedError::kDamaged},
      {"middle chunk changed", flip(sealed, h + u + 500), SealedError::kDamaged},
      {"last chunk changed", flip(sealed, sealed.size() - 20), SealedError::kDamaged},
      {"chunks swapped", join(sealed, {chunk(sealed, 1), chunk(sealed, 0), chunk(sealed, 2)}), SealedError::kDamaged},
      {"middle chunk dropped", join(sealed, {chunk(sealed, 0), chunk(sealed, 2)}), SealedError::kDamaged},
      {"last chunk dropped", join(sealed, {chunk(sealed, 0), chunk(sealed, 1)}), SealedError::kDamaged},
      {"cut by a byte", Bytes(sealed.begin(), sealed.end() - 1), SealedError::kDamaged},
      {"cut inside the last tag", Bytes(sealed.begin(), sealed.end() - 17), SealedError::kDamaged},
      {"no chunk at all", Bytes(sealed.begin(), sealed.begin() + static_cast<ptrdiff_t>(h)), SealedError::kDamaged},
      {"a byte appended", [&] { Bytes b = sealed; b.push_back(0); return b; }(), SealedError::kDamaged},
      {"a chunk appended after a whole last chunk", join(full, {chunk(full, 0), chunk(full, 1), chunk(full, 1)}),
       SealedError::kDamaged},
      {"whole last chunk dropped", join(full, {chunk(full, 0)}), SealedError::kDamaged},
      {"a chunk of another file of the run", join(sealed, {chunk(sealed, 0), chunk(other, 1), chunk(sealed, 2)}),
       SealedError::kDamaged},
      {"another file's header", join(other, {chunk(sealed, 0), chunk(sealed, 1), chunk(sealed, 2)}),
       SealedError::kDamaged},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    SealedKeyring reader(L"密钥");
    Bytes opened;
    bool packed = false;
    EXPECT_EQ(OpenSealedBytes(c.bytes.data(), c.bytes.size(), reader, opened, packed), c.expected);
    EXPECT_TRUE(opened.empty());
    EXPECT_EQ(OpenInPieces(reader, c.bytes, {4096}, opened), c.expected);
  }
  // Many chunks at once are opened side by side: a change in one of them
  // still refuses the whole file.
  const Bytes large = RandomBytes(20 * c + 7, 9);
  Bytes sealedLarge;
  ASSERT_EQ(SealBytes(writer, false, large.data(), large.size(), sealedLarge), SealedError::kNone);
  for (size_t chunk : {size_t{0}, size_t{13}, size_t{19}}) {
    SealedKeyring reader(L"密钥");
    Bytes opened;
    EXPECT_EQ(OpenInPieces(reader, flip(sealedLarge, h + chunk * u + 99), {2 * 1024 * 1024}, opened),
              SealedError::kDamaged)
        << chunk;
    EXPECT_EQ(OpenInPieces(reader, sealedLarge, {2 * 1024 * 1024}, opened), SealedError::kNone);
    EXPECT_EQ(opened, large);
  }
  for (const wchar_t* wrong : {L"密", L"密钥 ", L"", L"密钥密钥"}) {
    SealedKeyring reader(wrong);
    Bytes opened;
    bool packed = false;
    EXPECT_EQ(OpenSealedBytes(sealed.data(), sealed.size(), reader, opened, packed), SealedError::kWrongKey);
  }
}

}  // namespace
}  // namespace vellumo
