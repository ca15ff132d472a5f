// RunSelection, the one entry of the dialog and the command line into the
// engine: what it dispatches, and the summary it returns — every file with its
// outcome, the ending of its message and, for a failure the system caused,
// the system's reason.
#include <gtest/gtest.h>

#ifndef _WIN32
#include <signal.h>
#include <sys/resource.h>
#endif

#include <algorithm>
#include <filesystem>
#include <string>
#include <vector>

#include "fileenc/encrypted_file_header.h"
#include "fileenc/file_engine.h"
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

class Recorder : public Reporter {
 public:
  void Status(const std::wstring&) override {}
  void Refuse(const std::wstring& message) override { refusals.push_back(message); }
  std::vector<std::wstring> refusals;
};

RunDescription Describe(Direction direction, const std::string& key, bool pack = false) {
  RunDescription run;
  run.key = MakeKeyBlock(std::wstring(key.begin(), key.end()));
  run.algorithm = kRc4;
  run.direction = direction;
  run.pack = pack;
  return run;
}

// What a test expects of one file of the summary.
struct Expected {
  std::string name;  // below the test folder, "/" separated
  FileOutcome outcome;
  std::wstring ending;
  StatusCode code;
};

class RunSelectionTest : public ::testing::Test {
 protected:
  fs::path Make(const std::string& name, const Bytes& bytes) const {
    const fs::path path = dir_.path() / name;
    fs::create_directories(path.parent_path());
    WriteFileBytes(path, bytes);
    return path;
  }
  std::wstring Path(const std::string& name) const { return W(dir_.path() / fs::path(name).make_preferred()); }

  // The summary's files, in order, against the expectation; the counts and
  // the reporter's messages must agree with them.
  void ExpectSummary(const RunSummary& summary, const std::vector<Expected>& expected) const {
    ASSERT_EQ(summary.files.size(), expected.size());
    int done = 0, refused = 0, failed = 0;
    std::vector<std::wstring> messages;
    for (size_t i = 0; i < expected.size(); ++i) {
      const FileResult& got = summary.files[i];
      const Expected& want = expected[i];
      SCOPED_TRACE(want.name);
      EXPECT_EQ(got.path, Path(want.name));
      EXPECT_EQ(got.outcome, want.outcome);
      EXPECT_EQ(got.ending, want.ending);
      EXPECT_EQ(got.status.code(), want.code) << testing::Narrow(got.status.ToString());
      if (want.code != StatusCode::kOk) {
        EXPECT_NE(got.status.osError(), 0);
      }
      done += want.outcome == FileOutcome::kDone;
      refused += want.outcome == FileOutcome::kRefused;
      failed += want.outcome == FileOutcome::kFailed;
      if (want.outcome != FileOutcome::kDone) messages.push_back(L"文件:" + got.path + L"  " + want.ending);
    }
    EXPECT_EQ(summary.done, done);
    EXPECT_EQ(summary.refused, refused);
    EXPECT_EQ(summary.failed, failed);
    EXPECT_EQ(summary.allDone(), refused + failed == 0);
    EXPECT_EQ(reporter_.refusals, messages);
  }

  TempDir dir_;
  Recorder reporter_;
};

TEST_F(RunSelectionTest, FoldersAreWalkedFilesTreatedAndEveryFileListed) {
  const Bytes plain = RandomBytes(3000, 1);
  Make("tree/a.txt", plain);
  Make("single.txt", plain);
  // Already encrypted (by an earlier run with another key): refused, not failed.
  const RunSummary first = RunSelection({Path("single.txt")}, Describe(Direction::kEncrypt, "other"), reporter_);
  ASSERT_TRUE(first.allDone());
  reporter_.refusals.clear();

  const RunSummary summary = RunSelection({Path("tree"), Path("single.txt"), Path("missing.txt")},
                                          Describe(Direction::kEncrypt, "key"), reporter_);
  ExpectSummary(summary, {
                             {"tree/a.txt", FileOutcome::kDone, L"", StatusCode::kOk},
                             {"single.txt", FileOutcome::kRefused, L"已是加密文件!", StatusCode::kOk},
                             {"missing.txt", FileOutcome::kFailed, L"打不开!", StatusCode::kNotFound},
                         });
  EXPECT_EQ(summary.processed, 3);

  // The other way, with the wrong key for one of them.
  reporter_.refusals.clear();
  const RunSummary back = RunSelection({Path("tree"), Path("single.txt")}, Describe(Direction::kDecrypt, "key"), reporter_);
  ExpectSummary(back, {
                          {"tree/a.txt", FileOutcome::kDone, L"", StatusCode::kOk},
                          {"single.txt", FileOutcome::kRefused, L"所选密钥错误!", StatusCode::kOk},
                      });
  EXPECT_EQ(ReadFileBytes(dir_.path() / "tree" / "a.txt"), plain);
}

TEST_F(RunSelectionTest, PackingTakesTheWholeSelectionAndOnlyWhenEncrypting) {
  const Bytes plain = RandomBytes(500, 2);
  Make("set/x.txt", plain);
  Make("set/y.txt", plain);

  const RunSummary packed = RunSelection({Path("set/x.txt"), Path("set/y.txt")},
                                         Describe(Direction::kEncrypt, "key", true), reporter_);
  ExpectSummary(packed, {{"set/x.szip", FileOutcome::kDone, L"", StatusCode::kOk}});
  EXPECT_EQ(ReadFileBytes(dir_.path() / "set" / "x.txt"), plain);  // the items stay

  // A decrypt run ignores the pack flag: each entry is treated on its own, and
  // the packed file unpacks beside itself.
  const RunSummary unpacked = RunSelection({Path("set/x.szip"), Path("set/y.txt")},
                                           Describe(Direction::kDecrypt, "key", true), reporter_);
  ExpectSummary(unpacked, {
                              {"set/x.szip", FileOutcome::kDone, L"", StatusCode::kOk},
                              {"set/y.txt", FileOutcome::kRefused, L"不是密文!", StatusCode::kOk},
                          });
  EXPECT_EQ(ReadFileBytes(dir_.path() / "set" / "x" / "y.txt"), plain);
}

#ifndef _WIN32
// A write that fails midway: the summary says it was the disk, not the file.
TEST_F(RunSelectionTest, AFailedWriteKeepsTheSystemsReason) {
  Make("small.txt", RandomBytes(1000, 3));
  Make("large.bin", RandomBytes(200000, 4));
  struct rlimit saved {};
  ASSERT_EQ(::getrlimit(RLIMIT_FSIZE, &saved), 0);
  struct rlimit limit = saved;
  limit.rlim_cur = 64 * 1024;
  ::signal(SIGXFSZ, SIG_IGN);
  ASSERT_EQ(::setrlimit(RLIMIT_FSIZE, &limit), 0);
  const RunSummary summary =
      RunSelection({Path("small.txt"), Path("large.bin")}, Describe(Direction::kEncrypt, "key"), reporter_);
  ::setrlimit(RLIMIT_FSIZE, &saved);
  ::signal(SIGXFSZ, SIG_DFL);

  ExpectSummary(summary, {
                             {"small.txt", FileOutcome::kDone, L"", StatusCode::kOk},
                             {"large.bin", FileOutcome::kFailed, L"读写失败!", StatusCode::kNoSpace},
                         });
  EXPECT_EQ(summary.files[1].status.osError(), EFBIG);
}
#endif

}  // namespace
}  // namespace vellumo
