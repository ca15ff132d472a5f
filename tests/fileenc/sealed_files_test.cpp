// The engine with the sealed format: round trips through RunSelection, the
// known-answer files decrypted in place, one key derivation per run and per
// salt read, every refusal leaving the file as it was without a temporary
// file (and the key and the first chunk checked before anything is written),
// packed sets, the legacy classifier's view of a sealed file, and upgrades.
#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <functional>
#include <string>
#include <vector>

#include "crypto/key_block.h"
#include "fileenc/encrypted_file_header.h"
#include "fileenc/file_engine.h"
#include "platform/file_system.h"
#include "file_test_paths.h"
#include "sealed/sealed_format.h"
#include "test_support.h"

namespace vellumo {
namespace {

namespace fs = std::filesystem;
using Bytes = std::vector<uint8_t>;
using testing::P;
using testing::RandomBytes;
using testing::ReadFileBytes;
using testing::TempDir;
using testing::W;
using testing::Widen;
using testing::WriteFileBytes;

constexpr KdfParams kTestKdf = kLightestKdf;
const std::wstring kKeyText = L"安全格式的密钥 \U0001F511";

class Recorder : public Reporter {
 public:
  void FileStarted(Direction, const std::wstring&) override {}
  void Refuse(FileMessage message, const std::wstring& path) override { refusals.push_back(RefusalText(message, path)); }
  std::vector<std::wstring> refusals;
};

// A run with the key text (and its legacy key block) in the given format.
RunDescription Describe(Direction direction, const std::wstring& keyText = kKeyText,
                   FileFormat format = FileFormat::kSealed, bool pack = false) {
  RunDescription run;
  run.key = MakeKeyBlock(keyText, 936);
  run.keyText = keyText;
  run.format = format;
  run.algorithm = kAes;
  run.kdf = kTestKdf;
  run.direction = direction;
  run.pack = pack;
  return run;
}

Bytes Slice(const Bytes& bytes, size_t from, size_t length) {
  return Bytes(bytes.begin() + static_cast<ptrdiff_t>(from), bytes.begin() + static_cast<ptrdiff_t>(from + length));
}

class SealedFilesTest : public ::testing::Test {
 protected:
  // A path below the test folder; `relative` uses "/" and may hold Chinese.
  std::wstring Path(const std::string& relative) const {
    std::wstring out = W(dir_.path()) + kPathSeparator;
    for (wchar_t c : Widen(relative)) out += c == L'/' ? kPathSeparator : c;
    return out;
  }
  void Write(const std::wstring& path, const Bytes& bytes) const {
    fs::create_directories(P(path).parent_path());
    WriteFileBytes(P(path), bytes);
  }
  Bytes Read(const std::wstring& path) const { return ReadFileBytes(P(path)); }
  std::vector<std::wstring> AllPaths() const {
    std::vector<std::wstring> out;
    for (const auto& e : fs::recursive_directory_iterator(dir_.path())) out.push_back(W(e.path()));
    std::sort(out.begin(), out.end());
    return out;
  }
  // One file through RunSelection; the reporter's messages since the last call.
  std::vector<std::wstring> RunOne(const std::wstring& path, const RunDescription& run) {
    reporter_.refusals.clear();
    RunSelection({path}, run, reporter_, 936);
    return reporter_.refusals;
  }

  TempDir dir_;
  Recorder reporter_;
};

TEST_F(SealedFilesTest, RoundTripsAndTheLegacyClassifierSeesNoEncryptedFile) {
  const std::wstring path = Path("数据.bin");
  const size_t c = kSealedChunkSize;
  // Across chunks and across the engine's 1 MiB buffers.
  for (size_t length : {size_t{0}, size_t{1}, c, c + 1, size_t{1024 * 1024 + 3}, size_t{3 * 1024 * 1024}}) {
    SCOPED_TRACE(length);
    const Bytes plain = RandomBytes(length, static_cast<unsigned>(length));
    Write(path, plain);
    EXPECT_TRUE(RunOne(path, Describe(Direction::kEncrypt)).empty());
    const Bytes sealed = Read(path);
    const size_t chunks = std::max<size_t>(1, (length + c - 1) / c);
    EXPECT_EQ(sealed.size(), kSealedHeaderSize + length + chunks * kSealedTagSize);
    EXPECT_TRUE(HasSealedMagic(sealed.data(), sealed.size()));
    // A program that knows only the legacy format takes it for plaintext, and
    // so never strips or alters it, whatever key it holds.
    for (const wchar_t* key : {kKeyText.c_str(), L"", L"其他"}) {
      const HeaderCheck legacy = ClassifyHeader(sealed.data(), sealed.size(), MakeKeyBlock(key, 936));
      EXPECT_FALSE(legacy.isEncrypted);
      EXPECT_FALSE(legacy.keyMatches);
    }
    // Already encrypted for either format; decryption needs no format.
    EXPECT_EQ(RunOne(path, Describe(Direction::kEncrypt)), std::vector<std::wstring>{L"文件:" + path + L"  已是加密文件!"});
    EXPECT_EQ(RunOne(path, Describe(Direction::kEncrypt, kKeyText, FileFormat::kLegacy)),
              std::vector<std::wstring>{L"文件:" + path + L"  已是加密文件!"});
    EXPECT_EQ(Read(path), sealed);
    EXPECT_TRUE(RunOne(path, Describe(Direction::kDecrypt, kKeyText, FileFormat::kLegacy)).empty());
    EXPECT_EQ(Read(path), plain);
    EXPECT_EQ(AllPaths(), std::vector<std::wstring>{path});
  }
}

TEST_F(SealedFilesTest, KnownAnswerFilesDecryptInPlaceAndPackedSetsUnpack) {
  const auto manifest = testing::SealedVectorManifest();
  for (const auto& c : manifest.at("files")) {
    const std::string name = c.at("name");
    SCOPED_TRACE(name);
    const std::wstring path = Path(name + ".szip");
    Write(path, ReadFileBytes(testing::SealedVectorFile(c.at("sealed"))));
    EXPECT_TRUE(RunOne(path, Describe(Direction::kDecrypt, Widen(c.at("key_text")))).empty());
    const Bytes plain = ReadFileBytes(testing::SealedVectorFile(c.at("plain")));
    if (!c.at("packed").get<bool>()) {
      EXPECT_EQ(Read(path), plain);
      continue;
    }
    // The packed file stays; its archive is unpacked into a folder beside it.
    EXPECT_EQ(Read(path), ReadFileBytes(testing::SealedVectorFile(c.at("sealed"))));
    const Bytes notes = Read(Path(name + "/notes.txt"));
    EXPECT_EQ(std::string(notes.begin(), notes.end()).substr(0, 19), "packed set, sealed\n");
    EXPECT_EQ(Read(Path(name + "/data/numbers.bin")).size(), 1024u);
  }
}

TEST_F(SealedFilesTest, ARunDerivesItsKeyOnceAndReadsPayOncePerSalt) {
  std::vector<std::wstring> first, second;
  for (int i = 0; i < 12; ++i) {
    const std::wstring a = Path("a/" + std::to_string(i) + ".txt"), b = Path("b/" + std::to_string(i) + ".txt");
    Write(a, RandomBytes(100 + static_cast<size_t>(i), static_cast<unsigned>(i)));
    Write(b, RandomBytes(50, static_cast<unsigned>(i)));
    first.push_back(a);
    second.push_back(b);
  }
  EXPECT_TRUE(RunSelection({Path("a")}, Describe(Direction::kEncrypt), reporter_, 936).allDone());
  EXPECT_TRUE(RunSelection({Path("b")}, Describe(Direction::kEncrypt), reporter_, 936).allDone());

  // One salt for every file of a run, one nonce for every file.
  auto salt = [&](const std::wstring& path) { return Slice(Read(path), 20, 16); };
  auto nonce = [&](const std::wstring& path) { return Slice(Read(path), 36, 16); };
  std::vector<Bytes> nonces;
  for (const auto* files : {&first, &second}) {
    for (const std::wstring& path : *files) {
      EXPECT_EQ(salt(path), salt(files->front()));
      nonces.push_back(nonce(path));
    }
  }
  EXPECT_NE(salt(first.front()), salt(second.front()));
  std::sort(nonces.begin(), nonces.end());
  EXPECT_EQ(std::adjacent_find(nonces.begin(), nonces.end()), nonces.end());

  // Decrypting both runs' files: one derivation for each run's salt.
  SealedKeyring keyring(kKeyText, kTestKdf);
  FileEngine engine(reporter_, 936, nullptr, &keyring);
  const KeyBlock block = MakeKeyBlock(kKeyText, 936);
  for (const std::wstring& folder : {Path("a"), Path("b")}) {
    FileJob job;
    job.path = folder;
    job.key = &block;
    job.decrypt = true;
    engine.ProcessFolder(job);
  }
  EXPECT_EQ(engine.summary().done, 24);
  EXPECT_EQ(keyring.derivations(), 2);
  EXPECT_TRUE(reporter_.refusals.empty());
}

TEST_F(SealedFilesTest, EveryRefusalLeavesTheFileWithoutATemporaryAndTheKeyAndFirstChunkComeFirst) {
  const std::wstring path = Path("文件.bin");
  const size_t c = kSealedChunkSize, u = kSealedUnitSize, h = kSealedHeaderSize;
  Write(path, RandomBytes(2 * c + 10, 3));  // three chunks
  ASSERT_TRUE(RunOne(path, Describe(Direction::kEncrypt)).empty());
  const Bytes sealed = Read(path);
  Write(path, RandomBytes(10, 4));
  ASSERT_TRUE(RunOne(path, Describe(Direction::kEncrypt)).empty());
  const Bytes small = Read(path);  // one chunk

  auto flip = [](Bytes b, size_t at, uint8_t bits = 0x80) {
    b[at] ^= bits;
    return b;
  };
  auto cut = [](const Bytes& b, size_t length) { return Bytes(b.begin(), b.begin() + static_cast<ptrdiff_t>(length)); };
  Bytes swapped = cut(sealed, h);
  for (size_t i : {1, 0}) {
    const Bytes part = Slice(sealed, h + i * u, u);
    swapped.insert(swapped.end(), part.begin(), part.end());
  }
  swapped.insert(swapped.end(), sealed.begin() + static_cast<ptrdiff_t>(h + 2 * u), sealed.end());
  Bytes appended = sealed;
  appended.push_back('x');

  struct Case {
    const char* what;
    Bytes bytes;
    const wchar_t* key;
    const wchar_t* ending;
  };
  const std::vector<Case> cases = {
      {"wrong key", sealed, L"安全格式的密钥", L"所选密钥错误!"},
      {"wrong key, one chunk", small, L"", L"所选密钥错误!"},
      {"key check changed", flip(sealed, 60), kKeyText.c_str(), L"所选密钥错误!"},
      {"packed flag set", flip(sealed, 9, kSealedPackedFlag), kKeyText.c_str(), L"已损坏或被改动!"},
      {"file nonce changed", flip(sealed, 40), kKeyText.c_str(), L"已损坏或被改动!"},
      {"first chunk changed", flip(sealed, h + 5), kKeyText.c_str(), L"已损坏或被改动!"},
      {"the one chunk changed", flip(small, h + 1), kKeyText.c_str(), L"已损坏或被改动!"},
      {"chunks swapped", swapped, kKeyText.c_str(), L"已损坏或被改动!"},
      {"version 2", flip(sealed, 8) /* 1 ^ 0x80 */, kKeyText.c_str(), L"加密格式不支持!"},
      {"cut inside the header", cut(sealed, 50), kKeyText.c_str(), L"已损坏或被改动!"},
      {"header only", cut(sealed, h), kKeyText.c_str(), L"已损坏或被改动!"},
      {"last chunk changed", flip(sealed, sealed.size() - 3), kKeyText.c_str(), L"已损坏或被改动!"},
      {"last chunk dropped", cut(sealed, h + 2 * u), kKeyText.c_str(), L"已损坏或被改动!"},
      {"cut by a byte", cut(sealed, sealed.size() - 1), kKeyText.c_str(), L"已损坏或被改动!"},
      {"a byte appended", appended, kKeyText.c_str(), L"已损坏或被改动!"},
  };
  for (const Case& k : cases) {
    SCOPED_TRACE(k.what);
    for (bool folderAtTemporary : {false, true}) {
      SCOPED_TRACE(folderAtTemporary ? "temporary name taken" : "free");
      fs::remove_all(dir_.path());
      fs::create_directories(dir_.path());
      Write(path, k.bytes);
      if (folderAtTemporary) fs::create_directories(P(path + kTemporarySuffix));
      // Refused before any output (the key and the header first, then the
      // whole buffer, here the whole file): with the temporary name taken by
      // a folder, the refusal is still the file's own, not a write failure.
      EXPECT_EQ(RunOne(path, Describe(Direction::kDecrypt, k.key)), std::vector<std::wstring>{L"文件:" + path + L"  " + k.ending});
      EXPECT_EQ(Read(path), k.bytes);
      EXPECT_EQ(AllPaths().size(), folderAtTemporary ? 2u : 1u);
    }
  }
}

TEST_F(SealedFilesTest, PackedSetsAreSealedWithTheirFlagAndUnpackOnlyWhenWhole) {
  Write(Path("set/x.txt"), RandomBytes(3000, 5));
  Write(Path("set/相册/y.jpg"), RandomBytes(70000, 6));
  const RunSummary packed =
      RunSelection({Path("set/x.txt"), Path("set/相册")}, Describe(Direction::kEncrypt, kKeyText, FileFormat::kSealed, true),
                   reporter_, 936);
  ASSERT_TRUE(packed.allDone());
  const std::wstring archive = Path("set/x.szip");
  const Bytes sealed = Read(archive);
  ASSERT_TRUE(HasSealedMagic(sealed.data(), sealed.size()));
  EXPECT_EQ(sealed[9], kSealedPackedFlag);

  // A changed archive is refused before anything is unpacked.
  Bytes changed = sealed;
  changed[changed.size() / 2] ^= 1;
  Write(archive, changed);
  EXPECT_EQ(RunOne(archive, Describe(Direction::kDecrypt)), std::vector<std::wstring>{L"文件:" + archive + L"  已损坏或被改动!"});
  EXPECT_FALSE(fs::exists(P(Path("set/x"))));

  Write(archive, sealed);
  EXPECT_TRUE(RunOne(archive, Describe(Direction::kDecrypt)).empty());
  EXPECT_EQ(Read(Path("set/x/x.txt")), RandomBytes(3000, 5));
  EXPECT_EQ(Read(Path("set/x/相册/y.jpg")), RandomBytes(70000, 6));
  EXPECT_EQ(Read(archive), sealed);
}

TEST_F(SealedFilesTest, UpgradesLegacyFilesAndPackedSetsInOneStepAndRefusesTheRest) {
  const std::wstring key = L"旧密钥";
  std::vector<std::pair<std::wstring, Bytes>> files;
  for (int32_t algorithm : {kAes, kDes, kRc4}) {
    for (size_t length : {size_t{0}, size_t{17}, size_t{1024 * 1024 + 5}}) {
      const std::wstring path = Path("old/" + std::to_string(algorithm) + "-" + std::to_string(length) + ".bin");
      files.emplace_back(path, RandomBytes(length, static_cast<unsigned>(length) + 9));
      Write(path, files.back().second);
      RunDescription legacy = Describe(Direction::kEncrypt, key, FileFormat::kLegacy);
      legacy.algorithm = algorithm;
      ASSERT_TRUE(RunOne(path, legacy).empty());
    }
  }
  Write(Path("pack/a.txt"), RandomBytes(500, 10));
  ASSERT_TRUE(
      RunSelection({Path("pack/a.txt")}, Describe(Direction::kEncrypt, key, FileFormat::kLegacy, true), reporter_, 936)
          .allDone());
  const std::wstring packed = Path("pack/a.szip");
  fs::remove(P(Path("pack/a.txt")));

  const RunSummary upgraded = UpgradeSelection({Path("old"), packed}, Describe(Direction::kDecrypt, key), reporter_, 936);
  EXPECT_EQ(upgraded.done, 10);
  EXPECT_TRUE(upgraded.allDone());
  for (const auto& [path, plain] : files) {
    SCOPED_TRACE(testing::Narrow(path));
    const Bytes now = Read(path);
    EXPECT_TRUE(HasSealedMagic(now.data(), now.size()));
    EXPECT_FALSE(ClassifyHeader(now.data(), now.size(), MakeKeyBlock(key, 936)).isEncrypted);
  }
  const Bytes packedNow = Read(packed);
  EXPECT_EQ(packedNow[9], kSealedPackedFlag);

  // Already sealed: skipped as in its target state; not encrypted, or another
  // key: refused. All left as they are.
  const std::wstring plainFile = Path("plain.txt");
  Write(plainFile, RandomBytes(80, 11));
  const std::wstring otherKey = Path("other.bin");
  Write(otherKey, RandomBytes(80, 12));
  ASSERT_TRUE(RunOne(otherKey, Describe(Direction::kEncrypt, L"别的", FileFormat::kLegacy)).empty());
  const Bytes otherBytes = Read(otherKey);
  reporter_.refusals.clear();
  const RunSummary refused =
      UpgradeSelection({files.front().first, plainFile, otherKey}, Describe(Direction::kEncrypt, key), reporter_, 936);
  EXPECT_EQ(refused.skipped, 1);
  EXPECT_EQ(refused.refused, 2);
  EXPECT_EQ(reporter_.refusals, (std::vector<std::wstring>{L"文件:" + files.front().first + L"  已是安全格式!",
                                                           L"文件:" + plainFile + L"  不是密文!",
                                                           L"文件:" + otherKey + L"  所选密钥错误!"}));
  EXPECT_EQ(Read(plainFile), RandomBytes(80, 11));
  EXPECT_EQ(Read(otherKey), otherBytes);

  // Each upgraded file opens with the key text alone, and the packed set unpacks.
  reporter_.refusals.clear();
  EXPECT_TRUE(RunSelection({Path("old"), packed}, Describe(Direction::kDecrypt, key), reporter_, 936).allDone());
  for (const auto& [path, plain] : files) EXPECT_EQ(Read(path), plain);
  EXPECT_EQ(Read(Path("pack/a/a.txt")), RandomBytes(500, 10));
  for (const std::wstring& path : AllPaths()) EXPECT_EQ(path.find(kTemporarySuffix), std::wstring::npos);
}

}  // namespace
}  // namespace vellumo
