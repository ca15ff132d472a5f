// The engine's streaming loop on real files, with many buffers in flight:
// every kind of body stream comes out whole and in order (also when later
// buffers finish first, and when the file is longer or shorter than it was
// measured), progress rises to the body's length, and a failure in any stage
// midway (reading, transforming, writing) or a stop leaves no temporary file
// and says why.
#include <gtest/gtest.h>

#include <algorithm>
#include <chrono>
#include <filesystem>
#include <functional>
#include <memory>
#include <string>
#include <thread>
#include <vector>

#ifndef _WIN32
#include <fcntl.h>
#include <sys/mman.h>
#include <sys/resource.h>
#include <unistd.h>

#include <cerrno>
#include <csignal>
#endif

#include "fileenc/body_stream.h"
#include "fileenc/body_transform.h"
#include "fileenc/encrypted_file_header.h"
#include "fileenc/transform_pipeline.h"
#include "platform/file_system.h"
#include "sealed/sealed_stream.h"
#include "file_test_paths.h"
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
using testing::WriteFileBytes;

constexpr size_t kMiB = 1024 * 1024;
const KeyBlock kKey = {'p', 'i', 'p', 'e', 'l', 'i', 'n', 'e'};

SealedKeys TestKeys() {
  SealedKeys keys;
  const Bytes random = RandomBytes(keys.chunkKey.size(), 77);
  std::copy(random.begin(), random.end(), keys.chunkKey.begin());
  return keys;
}
const SealedKeys kSealedKeys = TestKeys();
const KdfSalt kSalt{};

// The legacy body transformed as one buffer on one thread (the body
// transform's fast paths are held to the reference elsewhere).
Bytes LegacyBody(Bytes bytes, CipherAlgorithm algorithm, Direction direction) {
  BodyTransformer(algorithm, direction, kKey, 1).Transform(bytes.data(), bytes.size());
  return bytes;
}

// Sealed through the encoder's own streaming path (header included).
Bytes SealStreaming(const Bytes& plain) {
  SealedEncoder encoder(kSealedKeys, kSalt, kLightestKdf, false);
  Bytes out = encoder.Feed(plain.data(), plain.size());
  const Bytes& rest = encoder.Finish();
  out.insert(out.end(), rest.begin(), rest.end());
  return out;
}

// Opened through the decoder's own streaming path; false when it refuses.
bool OpenStreaming(const Bytes& sealed, Bytes& plain) {
  SealedHeader header;
  if (DecodeSealedHeader(sealed.data(), sealed.size(), header) != SealedError::kNone) return false;
  SealedHeaderBytes headerBytes{};
  std::copy_n(sealed.begin(), headerBytes.size(), headerBytes.begin());
  SealedDecoder decoder(kSealedKeys, header, headerBytes);
  if (!decoder.Feed(sealed.data() + kSealedHeaderSize, sealed.size() - kSealedHeaderSize)) return false;
  plain = decoder.output();
  if (!decoder.Finish()) return false;
  plain.insert(plain.end(), decoder.output().begin(), decoder.output().end());
  return true;
}

std::unique_ptr<BodyStream> OpeningOf(const Bytes& sealed) {
  SealedHeader header;
  EXPECT_EQ(DecodeSealedHeader(sealed.data(), sealed.size(), header), SealedError::kNone);
  SealedHeaderBytes headerBytes{};
  std::copy_n(sealed.begin(), headerBytes.size(), headerBytes.begin());
  return std::make_unique<OpeningStream>(kSealedKeys, header, headerBytes);
}

// Another stream's work, with a delay that differs from buffer to buffer, so
// that buffers in flight often finish after the ones behind them.
class UnevenStream final : public BodyStream {
 public:
  explicit UnevenStream(std::unique_ptr<BodyStream> inner) : inner_(std::move(inner)) {}
  size_t Unit() const override { return inner_->Unit(); }
  size_t SpaceFor(size_t length) const override { return inner_->SpaceFor(length); }
  uint64_t OutputLength(uint64_t length) const override { return inner_->OutputLength(length); }
  bool Transform(const BodyBuffer& buffer, uint8_t* space, ByteView& out, unsigned threads) const override {
    std::this_thread::sleep_for(std::chrono::milliseconds((buffer.offset / inner_->Unit()) % 5 * 3));
    return inner_->Transform(buffer, space, out, threads);
  }

 private:
  std::unique_ptr<BodyStream> inner_;
};

// One run of the streaming loop over a real file, as the engine makes it.
struct PipelineRun {
  Status status;
  bool refused = false;
  std::vector<uint64_t> progress;  // bytes of the body read, as heard after each buffer
};

class TransformPipelineTest : public ::testing::Test {
 protected:
  std::wstring Source() const { return W(dir_ / "source.bin"); }
  std::wstring Temporary() const { return W(dir_ / "source.bin.tmp"); }

  // The body of `source` from `bodyStart` on through `body`; `expected` is the
  // body's length as measured beforehand. `stopAfter` buffers it is stopped.
  PipelineRun Run(const std::wstring& source, uint64_t bodyStart, uint64_t expected, ByteView prologue,
                  const BodyStream& body, size_t stopAfter = SIZE_MAX) {
    PipelineRun run;
    FileHandle in;
    run.status = in.OpenReadExclusive(source);
    if (!run.status) return run;
    run.status = in.Seek(bodyStart);
    if (!run.status) return run;
    run.status = WriteTransformed(
        in, Temporary(), prologue, body, expected,
        [&](uint64_t done) {
          run.progress.push_back(done);
          return run.progress.size() < stopAfter;
        },
        run.refused);
    return run;
  }

  TempDir dir_;
};

TEST_F(TransformPipelineTest, EveryStreamComesOutInOrderWithManyBuffersInFlight) {
  const std::array<uint8_t, kHeaderSize> prologueBytes = EncodeHeader(MakeHeader(kAes, kKey, false));
  const ByteView prologue{prologueBytes.data(), prologueBytes.size()};
  const size_t chunk = kSealedChunkSize;
  enum Kind { kAesEncrypt, kDesDecrypt, kRc4Encrypt, kSealing, kOpening };
  struct Case {
    const char* what;
    Kind kind;
    size_t length;          // of the plaintext
    int64_t measuredOffBy;  // the body's length as measured, less the real one
    bool uneven;            // buffers take different times
  };
  const int64_t mib = static_cast<int64_t>(kMiB);
  const std::vector<Case> cases = {
      {"AES, whole buffers", kAesEncrypt, 9 * kMiB, 0, false},
      {"RC4, a byte past whole buffers", kRc4Encrypt, 9 * kMiB + 1, 0, true},
      {"DES, a partial chunk at the end", kDesDecrypt, 7 * kMiB + 5, 0, true},
      {"sealing, whole chunks", kSealing, 9 * 15 * chunk, 0, true},
      {"sealing, a partial chunk at the end", kSealing, 8 * kMiB + 3, 0, false},
      // The opening side's buffers are 15 sealed chunks with their tags.
      {"opening, whole chunks and whole buffers", kOpening, 9 * 15 * chunk, 0, false},
      {"opening, a partial chunk at the end", kOpening, 8 * kMiB + 3, 0, true},
      {"AES, grew since it was measured", kAesEncrypt, 7 * kMiB + 100, -3 * mib, false},
      {"RC4, shrank since it was measured", kRc4Encrypt, 7 * kMiB + 7, 2 * mib, true},
      {"sealing, shrank since it was measured", kSealing, 7 * kMiB + 7, 2 * mib, false},
      {"opening, measured as one buffer, many", kOpening, 7 * kMiB, 1000 - 7 * mib, false},
  };
  const Bytes source = RandomBytes(9 * kMiB + 1, 21);
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    const Kind kind = c.kind;
    const Bytes plain(source.begin(), source.begin() + static_cast<ptrdiff_t>(c.length));
    Bytes input;
    Bytes expected;
    std::unique_ptr<BodyStream> body;
    ByteView head;
    switch (kind) {
      case kAesEncrypt:
      case kRc4Encrypt: {
        const CipherAlgorithm algorithm = kind == kAesEncrypt ? kAes : kRc4;
        input = plain;
        head = prologue;
        expected.assign(prologueBytes.begin(), prologueBytes.end());
        const Bytes transformed = LegacyBody(plain, algorithm, Direction::kEncrypt);
        expected.insert(expected.end(), transformed.begin(), transformed.end());
        body = std::make_unique<LegacyBodyStream>(algorithm, Direction::kEncrypt, kKey);
        break;
      }
      case kDesDecrypt:
        input = LegacyBody(plain, kDes, Direction::kEncrypt);
        expected = plain;
        body = std::make_unique<LegacyBodyStream>(kDes, Direction::kDecrypt, kKey);
        break;
      case kSealing:
        input = plain;
        body = std::make_unique<SealingStream>(kSealedKeys, kSalt, kLightestKdf, false);
        break;
      case kOpening:
        input = SealStreaming(plain);
        expected = plain;
        body = OpeningOf(input);
        break;
    }
    if (c.uneven) body = std::make_unique<UnevenStream>(std::move(body));
    WriteFileBytes(dir_ / "source.bin", input);
    const uint64_t bodyStart = kind == kOpening ? kSealedHeaderSize : 0;
    const uint64_t bodyLength = input.size() - bodyStart;

    const PipelineRun run = Run(Source(), bodyStart, bodyLength + c.measuredOffBy, head, *body);
    ASSERT_TRUE(run.status.ok()) << static_cast<int>(run.status.code()) << " " << run.status.osError();
    const Bytes out = ReadFileBytes(P(Temporary()));
    if (kind == kSealing) {
      // The nonce is the run's own: what counts is that it opens to the plaintext.
      EXPECT_EQ(out.size(), body->OutputLength(bodyLength));
      Bytes opened;
      EXPECT_TRUE(OpenStreaming(out, opened));
      EXPECT_TRUE(opened == plain);
    } else {
      EXPECT_EQ(out.size(), expected.size());
      EXPECT_TRUE(out == expected);
    }
    ASSERT_GE(run.progress.size(), 4u);
    EXPECT_TRUE(std::is_sorted(run.progress.begin(), run.progress.end()));
    EXPECT_EQ(std::adjacent_find(run.progress.begin(), run.progress.end()), run.progress.end());
    EXPECT_EQ(run.progress.back(), bodyLength);
    fs::remove(P(Temporary()));
  }
}

// A buffer that cannot be had, made or written midway, or a stop with
// buffers in flight: the temporary file is gone, and the status says what.
TEST_F(TransformPipelineTest, AFailureOrAStopMidwayLeavesNoTemporaryFile) {
  const Bytes plain = RandomBytes(10 * kMiB + 123, 5);
  const Bytes sealed = SealStreaming(plain);
  Bytes tampered = sealed;
  tampered[kSealedHeaderSize + 7 * kMiB + 5] ^= 1;  // a chunk in the eighth buffer
  const LegacyBodyStream aes(kAes, Direction::kEncrypt, kKey);

  struct Case {
    const char* what;
    const Bytes* file;
    bool opening;
    size_t stopAfter;
    StatusCode code;
    bool refused;
  };
  const std::vector<Case> cases = {
      {"a sealed chunk changed midway", &tampered, true, SIZE_MAX, StatusCode::kIoError, true},
      {"stopped, legacy", &plain, false, 3, StatusCode::kCancelled, false},
      {"stopped, sealed", &sealed, true, 2, StatusCode::kCancelled, false},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    WriteFileBytes(dir_ / "source.bin", *c.file);
    const std::unique_ptr<BodyStream> opening = c.opening ? OpeningOf(*c.file) : nullptr;
    const uint64_t bodyStart = c.opening ? kSealedHeaderSize : 0;
    const BodyStream& body = c.opening ? *opening : static_cast<const BodyStream&>(aes);
    const PipelineRun run = Run(Source(), bodyStart, c.file->size() - bodyStart, {}, body, c.stopAfter);
    EXPECT_EQ(run.status.code(), c.code);
    EXPECT_EQ(run.refused, c.refused);
    // Midway: some buffers were written, not all.
    ASSERT_FALSE(run.progress.empty());
    EXPECT_LT(run.progress.back(), c.file->size() - bodyStart);
    EXPECT_GE(run.progress.size(), c.refused ? 5u : c.stopAfter);
    EXPECT_FALSE(fs::exists(P(Temporary())));
    EXPECT_EQ(ReadFileBytes(dir_ / "source.bin"), *c.file);
  }
}

#ifndef _WIN32
// A write that fails midway: a file size limit (SIGXFSZ ignored) stops the
// temporary file at 3 MiB of a 10 MiB body.
TEST_F(TransformPipelineTest, AWriteErrorMidwayLeavesNoTemporaryFile) {
  const Bytes plain = RandomBytes(10 * kMiB, 6);
  WriteFileBytes(dir_ / "source.bin", plain);
  const LegacyBodyStream rc4(kRc4, Direction::kEncrypt, kKey);
  rlimit saved{};
  ASSERT_EQ(::getrlimit(RLIMIT_FSIZE, &saved), 0);
  rlimit limit = saved;
  limit.rlim_cur = 3 * kMiB;
  ::signal(SIGXFSZ, SIG_IGN);
  ASSERT_EQ(::setrlimit(RLIMIT_FSIZE, &limit), 0);
  const PipelineRun run = Run(Source(), 0, plain.size(), {}, rc4);
  ::setrlimit(RLIMIT_FSIZE, &saved);
  ::signal(SIGXFSZ, SIG_DFL);

  EXPECT_FALSE(run.status.ok());
  EXPECT_EQ(run.status.osError(), EFBIG);
  EXPECT_FALSE(run.refused);
  EXPECT_FALSE(fs::exists(P(Temporary())));
}
#endif

#ifdef __linux__
// A read that fails midway, in the reader's own thread: the source is this
// process's memory (/proc/self/mem) at a mapping of a real 10 MiB file that
// is 4 MiB longer than the file, so reading past the file's end fails (EIO)
// after 10 MiB have been read and transformed.
TEST_F(TransformPipelineTest, AReadErrorMidwayLeavesNoTemporaryFileAndKeepsTheReason) {
  const Bytes plain = RandomBytes(10 * kMiB, 7);
  WriteFileBytes(dir_ / "mapped.bin", plain);
  const int fd = ::open((dir_ / "mapped.bin").c_str(), O_RDONLY);
  ASSERT_GE(fd, 0);
  const size_t mapped = plain.size() + 4 * kMiB;
  void* at = ::mmap(nullptr, mapped, PROT_READ, MAP_SHARED, fd, 0);
  ::close(fd);
  ASSERT_NE(at, MAP_FAILED);
  const LegacyBodyStream des(kDes, Direction::kEncrypt, kKey);
  const PipelineRun run = Run(L"/proc/self/mem", reinterpret_cast<uintptr_t>(at), mapped, {}, des);
  ::munmap(at, mapped);

  EXPECT_EQ(run.status.code(), StatusCode::kIoError);
  EXPECT_EQ(run.status.osError(), EIO);
  EXPECT_FALSE(run.refused);
  // What came before the bad read was transformed and written in order first.
  ASSERT_FALSE(run.progress.empty());
  EXPECT_GE(run.progress.back(), 8 * kMiB);
  EXPECT_LE(run.progress.back(), plain.size());
  EXPECT_FALSE(fs::exists(P(Temporary())));
}
#endif

}  // namespace
}  // namespace vellumo
