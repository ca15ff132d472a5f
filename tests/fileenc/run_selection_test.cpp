// RunSelection, the one entry of the dialog and the command line into the
// engine: what it dispatches, and the summary it returns — every file with its
// outcome, the ending of its message and, for a failure the system caused,
// the system's reason.
#include <gtest/gtest.h>

#ifdef _WIN32
#include <windows.h>
#else
#include <signal.h>
#include <sys/resource.h>
#endif

#include <algorithm>
#include <chrono>
#include <filesystem>
#include <functional>
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
  void FileStarted(Direction, const std::wstring&) override {}
  void Refuse(FileMessage message, const std::wstring& path) override { refusals.push_back(RefusalText(message, path)); }
  void Progress(const RunProgress& p) override {
    progress.push_back(p);
    if (onProgress) onProgress(p);
  }
  std::vector<std::wstring> refusals;
  std::vector<RunProgress> progress;
  std::function<void(const RunProgress&)> onProgress;  // a test's hand on the cancel button
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
    int done = 0, skipped = 0, refused = 0, failed = 0;
    std::vector<std::wstring> messages;
    for (size_t i = 0; i < expected.size(); ++i) {
      const FileResult& got = summary.files[i];
      const Expected& want = expected[i];
      SCOPED_TRACE(want.name);
      EXPECT_EQ(got.path, Path(want.name));
      EXPECT_EQ(got.outcome, want.outcome);
      EXPECT_EQ(MessageEnding(got.message), want.ending);
      EXPECT_EQ(got.status.code(), want.code) << testing::Narrow(got.status.ToString());
      if (want.code != StatusCode::kOk) {
        EXPECT_NE(got.status.osError(), 0);
      }
      done += want.outcome == FileOutcome::kDone;
      skipped += want.outcome == FileOutcome::kSkipped;
      refused += want.outcome == FileOutcome::kRefused;
      failed += want.outcome == FileOutcome::kFailed;
      if (want.outcome != FileOutcome::kDone) messages.push_back(L"文件:" + got.path + L"  " + want.ending);
    }
    EXPECT_EQ(summary.done, done);
    EXPECT_EQ(summary.skipped, skipped);
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
  // Already encrypted (by an earlier run with another key): skipped, not failed.
  const RunSummary first = RunSelection({Path("single.txt")}, Describe(Direction::kEncrypt, "other"), reporter_);
  ASSERT_TRUE(first.allDone());
  reporter_.refusals.clear();

  const RunSummary summary = RunSelection({Path("tree"), Path("single.txt"), Path("missing.txt")},
                                          Describe(Direction::kEncrypt, "key"), reporter_);
  ExpectSummary(summary, {
                             {"tree/a.txt", FileOutcome::kDone, L"", StatusCode::kOk},
                             {"single.txt", FileOutcome::kSkipped, L"已是加密文件!", StatusCode::kOk},
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
                              {"set/y.txt", FileOutcome::kSkipped, L"不是密文!", StatusCode::kOk},
                          });
  EXPECT_EQ(ReadFileBytes(dir_.path() / "set" / "x" / "y.txt"), plain);
}

// Finishing an interrupted run: files already in the target state are counted
// as skipped (quietly when asked), the temporary files the interruption left
// are neither walked as files nor kept, and the summary lists them.
TEST_F(RunSelectionTest, ARerunSkipsWhatIsDoneAndRemovesLeftovers) {
  const Bytes plain = RandomBytes(2500, 12);
  Make("tree/a.txt", plain);
  Make("tree/b.txt", plain);
  Make("tree/sub/c.txt", plain);
  ASSERT_TRUE(RunSelection({Path("tree/a.txt")}, Describe(Direction::kEncrypt, "key"), reporter_).allDone());
  // What a run killed while writing b.txt leaves, and one beside a finished file.
  Make("tree/b.txtwritebyqmr", RandomBytes(700, 13));
  Make("tree/a.txtwritebyqmr", RandomBytes(70, 14));
  // A name that only looks like a temporary (no file of its own) is a file.
  Make("tree/sub/alonewritebyqmr", plain);

  // The first rerun finishes the job quietly; a second one finds all done and,
  // not asked to be quiet, reports each file as the dialog does.
  for (const bool quiet : {true, false}) {
    SCOPED_TRACE(quiet ? "skipDone" : "reported");
    reporter_.refusals.clear();
    RunDescription run = Describe(Direction::kEncrypt, "key");
    run.skipDone = quiet;
    const RunSummary summary = RunSelection({Path("tree")}, run, reporter_);
    std::vector<Expected> expected;
    for (const FileResult& file : summary.files) {  // the walk's order is the system's
      const std::string name = fs::relative(testing::P(file.path), dir_.path()).generic_string();
      const bool wasDone = !quiet || name == "tree/a.txt";
      expected.push_back({name, wasDone ? FileOutcome::kSkipped : FileOutcome::kDone,
                          wasDone ? L"已是加密文件!" : L"", StatusCode::kOk});
    }
    ASSERT_EQ(expected.size(), 4u);  // the leftovers are not walked as files
    if (quiet) {
      EXPECT_EQ(summary.done, 3);
      EXPECT_EQ(summary.skipped, 1);
      EXPECT_TRUE(reporter_.refusals.empty());
      std::vector<std::wstring> removed = summary.leftoversRemoved;
      std::sort(removed.begin(), removed.end());
      EXPECT_EQ(removed, (std::vector<std::wstring>{Path("tree/a.txtwritebyqmr"), Path("tree/b.txtwritebyqmr")}));
    } else {
      ExpectSummary(summary, expected);
      EXPECT_EQ(summary.skipped, 4);
      EXPECT_TRUE(summary.leftoversRemoved.empty());
    }
    EXPECT_TRUE(summary.allDone());
    EXPECT_FALSE(fs::exists(dir_.path() / "tree" / "a.txtwritebyqmr"));
    EXPECT_FALSE(fs::exists(dir_.path() / "tree" / "b.txtwritebyqmr"));
    for (const char* name : {"a.txt", "b.txt", "sub/c.txt", "sub/alonewritebyqmr"}) {
      EXPECT_EQ(ReadFileBytes(dir_.path() / "tree" / name).size(), plain.size() + kHeaderSize) << name;
    }
  }
}

// A rewritten file keeps its modification time (and on Windows its creation
// time) through encrypting, upgrading and decrypting, in either format;
// unpacked files take theirs from the archive's entries, to the two seconds a
// ZIP entry holds.
TEST_F(RunSelectionTest, FilesKeepTheirTimes) {
  const fs::path file = Make("dated/报告.doc", RandomBytes(3000, 15));
  const fs::path packedSource = Make("dated/packed.txt", RandomBytes(400, 16));
  // Long ago, with a fraction of a second where the library can set one;
  // the times are read back as the file system keeps them.
  fs::last_write_time(file, fs::last_write_time(file) - std::chrono::hours(24 * 1000) + std::chrono::microseconds(123457));
  fs::last_write_time(packedSource, fs::last_write_time(packedSource) - std::chrono::hours(24 * 500));
  const auto then = fs::last_write_time(file);
  const auto packedThen = fs::last_write_time(packedSource);
#ifdef _WIN32
  auto created = [](const fs::path& path) {
    WIN32_FILE_ATTRIBUTE_DATA data;
    EXPECT_TRUE(GetFileAttributesExW(path.c_str(), GetFileExInfoStandard, &data));
    return (uint64_t{data.ftCreationTime.dwHighDateTime} << 32) | data.ftCreationTime.dwLowDateTime;
  };
  {
    HANDLE h = CreateFileW(file.c_str(), FILE_WRITE_ATTRIBUTES, FILE_SHARE_READ, nullptr, OPEN_EXISTING, 0, nullptr);
    ASSERT_NE(h, INVALID_HANDLE_VALUE);
    FILETIME old = {0x12345600u, 0x01D00000u};  // some day in 2014
    ASSERT_TRUE(SetFileTime(h, &old, nullptr, nullptr));
    CloseHandle(h);
  }
  const uint64_t createdThen = created(file);
#endif

  RunDescription sealed = Describe(Direction::kDecrypt, "key");
  sealed.keyText = L"key";
  sealed.kdf = kLightestKdf;
  const struct {
    const char* what;
    std::function<RunSummary()> run;
  } steps[] = {
      {"encrypt", [&] { return RunSelection({W(file)}, Describe(Direction::kEncrypt, "key"), reporter_); }},
      {"upgrade", [&] { return UpgradeSelection({W(file)}, sealed, reporter_); }},
      {"decrypt sealed", [&] { return RunSelection({W(file)}, sealed, reporter_); }},
      {"encrypt again", [&] { return RunSelection({W(file)}, Describe(Direction::kEncrypt, "key"), reporter_); }},
      {"decrypt", [&] { return RunSelection({W(file)}, Describe(Direction::kDecrypt, "key"), reporter_); }},
  };
  for (const auto& step : steps) {
    SCOPED_TRACE(step.what);
    ASSERT_TRUE(step.run().allDone());
    EXPECT_EQ(fs::last_write_time(file), then);
#ifdef _WIN32
    EXPECT_EQ(created(file), createdThen);
#endif
  }
  EXPECT_EQ(ReadFileBytes(file), RandomBytes(3000, 15));

  ASSERT_TRUE(RunSelection({W(packedSource)}, Describe(Direction::kEncrypt, "key", true), reporter_).allDone());
  ASSERT_TRUE(RunSelection({Path("dated/packed.szip")}, Describe(Direction::kDecrypt, "key"), reporter_).allDone());
  const auto unpacked = fs::last_write_time(dir_.path() / "dated" / "packed" / "packed.txt");
  EXPECT_LE(std::chrono::abs(unpacked - packedThen), std::chrono::seconds(2));
}

#ifndef _WIN32
// A link is refused as a link: the summary's reason says so.
TEST_F(RunSelectionTest, ALinkIsRefusedAsALink) {
  const fs::path target = Make("target.txt", RandomBytes(100, 17));
  fs::create_symlink(target, dir_.path() / "link.txt");
  const RunSummary summary = RunSelection({Path("link.txt")}, Describe(Direction::kEncrypt, "key"), reporter_);
  ASSERT_EQ(summary.files.size(), 1u);
  EXPECT_EQ(summary.files[0].outcome, FileOutcome::kFailed);
  EXPECT_EQ(summary.files[0].status.code(), StatusCode::kLink);
  EXPECT_EQ(ReadFileBytes(target), RandomBytes(100, 17));
}
#endif

// Progress over a whole run: the totals are known before the first file, the
// bytes done never go back, and the run ends at exactly its totals.
TEST_F(RunSelectionTest, ProgressCoversTheWholeRunAndRisesToItsTotals) {
  Make("tree/a.bin", RandomBytes(3 * 1024 * 1024 + 5, 5));
  Make("tree/sub/b.bin", RandomBytes(100, 6));
  Make("tree/sub/c.bin", Bytes());
  Make("lone.bin", RandomBytes(70000, 7));
  const uint64_t bytes = 3 * 1024 * 1024 + 5 + 100 + 70000;
  const std::vector<std::wstring> selection = {Path("tree"), Path("lone.bin")};

  struct Case {
    const char* name;
    Direction direction;
    bool pack;
    uint64_t bytesTotal;  // packing counts the sources twice: packed, then encrypted
  };
  for (const Case& c : {Case{"encrypt", Direction::kEncrypt, false, bytes},
                        Case{"decrypt", Direction::kDecrypt, false, bytes + 4 * kHeaderSize},
                        Case{"pack", Direction::kEncrypt, true, 2 * bytes}}) {
    SCOPED_TRACE(c.name);
    reporter_.progress.clear();
    const RunSummary summary = RunSelection(selection, Describe(c.direction, "key", c.pack), reporter_);
    ASSERT_TRUE(summary.allDone());
    ASSERT_GE(reporter_.progress.size(), 3u);
    const RunProgress& first = reporter_.progress.front();
    EXPECT_EQ(first.filesTotal, 4u);
    EXPECT_EQ(first.bytesTotal, c.bytesTotal);
    EXPECT_EQ(first.bytesDone, 0u);
    for (size_t i = 1; i < reporter_.progress.size(); ++i) {
      const RunProgress& was = reporter_.progress[i - 1];
      const RunProgress& now = reporter_.progress[i];
      ASSERT_GE(now.bytesDone, was.bytesDone) << "report " << i;
      ASSERT_GE(now.filesDone, was.filesDone) << "report " << i;
      ASSERT_LE(now.bytesDone, now.bytesTotal) << "report " << i;
      ASSERT_EQ(now.bytesTotal, c.bytesTotal) << "report " << i;
    }
    const RunProgress& last = reporter_.progress.back();
    EXPECT_EQ(last.bytesDone, last.bytesTotal);
    EXPECT_EQ(last.filesDone, last.filesTotal);
    // The large file moves the bar in steps (one per buffer), not in one jump.
    std::vector<uint64_t> steps;
    for (const RunProgress& p : reporter_.progress) {
      if (p.bytesDone > 0 && p.bytesDone < c.bytesTotal) steps.push_back(p.bytesDone);
    }
    steps.erase(std::unique(steps.begin(), steps.end()), steps.end());
    EXPECT_GE(steps.size(), 4u);
  }
}

// Stopping a run: the file in hand stays exactly as it was with no temporary
// file beside it, files finished before keep their new form, later ones are
// not touched, and the summary says what was not reached.
TEST_F(RunSelectionTest, AStoppedRunLeavesEveryFileWhole) {
  const Bytes small = RandomBytes(5000, 8);
  const Bytes large = RandomBytes(4 * 1024 * 1024 + 3, 9);
  Make("run/1-first.bin", small);
  Make("run/2-large.bin", large);
  Make("run/3-later.bin", small);
  // Listing order is the system's: take the run's order from the summary.
  CancelFlag cancel{false};
  RunDescription run = Describe(Direction::kEncrypt, "key");
  run.cancel = &cancel;
  bool sawLarge = false;
  reporter_.onProgress = [&](const RunProgress& p) {
    // Inside the large file: some of it, not all.
    if (p.bytesDone > large.size() / 4 && p.bytesDone < large.size() / 2 + small.size() * 2) {
      sawLarge = true;
      cancel = true;
    }
  };
  const RunSummary summary = RunSelection({Path("run")}, run, reporter_);
  ASSERT_TRUE(sawLarge);
  EXPECT_TRUE(summary.cancelled);
  EXPECT_TRUE(reporter_.refusals.empty());  // a stop is no failure to show
  ASSERT_FALSE(summary.files.empty());
  const FileResult& stopped = summary.files.back();
  EXPECT_EQ(stopped.path, Path("run/2-large.bin"));
  EXPECT_EQ(stopped.outcome, FileOutcome::kCancelled);
  EXPECT_EQ(ReadFileBytes(dir_.path() / "run" / "2-large.bin"), large);
  EXPECT_FALSE(fs::exists(dir_.path() / "run" / "2-large.binwritebyqmr"));
  int finished = 0;
  for (const FileResult& file : summary.files) {
    if (file.outcome != FileOutcome::kDone) continue;
    ++finished;
    const Bytes now = ReadFileBytes(testing::P(file.path));
    EXPECT_EQ(now.size(), small.size() + kHeaderSize);  // encrypted
  }
  EXPECT_EQ(summary.done, finished);
  EXPECT_EQ(summary.notStarted, uint64_t(3 - summary.processed));
  // Whatever was not reached is as it was.
  for (const char* name : {"1-first.bin", "3-later.bin"}) {
    const Bytes now = ReadFileBytes(dir_.path() / "run" / name);
    EXPECT_TRUE(now == small || now.size() == small.size() + kHeaderSize) << name;
  }
  EXPECT_EQ(std::distance(fs::directory_iterator(dir_.path() / "run"), fs::directory_iterator()), 3);
}

// A stop seen between two files leaves no file in hand; the run still counts
// as stopped, so no front takes it for one that reached its end.
TEST_F(RunSelectionTest, AStopBetweenTwoFilesIsAStoppedRun) {
  const Bytes small = RandomBytes(3000, 12);
  for (const char* name : {"gap/a.bin", "gap/b.bin", "gap/c.bin", "sel/a.bin", "sel/b.bin", "sel/c.bin"}) Make(name, small);
  struct Case {
    const char* name;
    std::vector<std::wstring> selection;
  } cases[] = {
      {"in a folder walk", {Path("gap")}},
      {"in the selection", {Path("sel/a.bin"), Path("sel/b.bin"), Path("sel/c.bin")}},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    CancelFlag cancel{false};
    RunDescription run = Describe(Direction::kEncrypt, "key");
    run.cancel = &cancel;
    reporter_.onProgress = [&](const RunProgress& p) {
      if (p.filesDone == 1) cancel = true;  // the first file is finished, the next not begun
    };
    const RunSummary summary = RunSelection(c.selection, run, reporter_);
    EXPECT_TRUE(summary.cancelled);
    EXPECT_EQ(summary.done, 1);
    EXPECT_EQ(summary.processed, 1);
    EXPECT_EQ(summary.notStarted, 2u);
    ASSERT_EQ(summary.files.size(), 1u);
    EXPECT_EQ(summary.files[0].outcome, FileOutcome::kDone);
  }
}

// A packed run stopped while it packs, or while it encrypts the archive,
// leaves neither an archive nor a temporary one; the sources are untouched.
TEST_F(RunSelectionTest, AStoppedPackedRunLeavesNoArchive) {
  const Bytes a = RandomBytes(3 * 1024 * 1024, 10);
  const Bytes b = RandomBytes(3 * 1024 * 1024, 11);
  Make("pack/a.bin", a);
  Make("pack/b.bin", b);
  const uint64_t sources = a.size() + b.size();
  struct Case {
    const char* name;
    uint64_t stopAfter;  // bytes done of the run (sources counted twice)
  };
  for (const Case& c : {Case{"while packing", sources / 4}, Case{"while encrypting the archive", sources * 3 / 2}}) {
    SCOPED_TRACE(c.name);
    CancelFlag cancel{false};
    RunDescription run = Describe(Direction::kEncrypt, "key", true);
    run.cancel = &cancel;
    reporter_.onProgress = [&](const RunProgress& p) {
      if (p.bytesDone >= c.stopAfter) cancel = true;
    };
    const RunSummary summary = RunSelection({Path("pack/a.bin"), Path("pack/b.bin")}, run, reporter_);
    EXPECT_TRUE(summary.cancelled);
    EXPECT_EQ(summary.done, 0);
    EXPECT_TRUE(reporter_.refusals.empty());
    std::vector<std::string> left;
    for (const auto& entry : fs::directory_iterator(dir_.path() / "pack")) left.push_back(entry.path().filename().string());
    std::sort(left.begin(), left.end());
    EXPECT_EQ(left, (std::vector<std::string>{"a.bin", "b.bin"}));
    EXPECT_EQ(ReadFileBytes(dir_.path() / "pack" / "a.bin"), a);
    EXPECT_EQ(ReadFileBytes(dir_.path() / "pack" / "b.bin"), b);
  }
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
