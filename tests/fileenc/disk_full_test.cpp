// The file engine on a volume that fills up midway: encryption, decryption and
// packing that cannot finish leave every source as it was, no temporary file,
// no archive, and one message per file. Two ways to run out of room: a small
// tmpfs mounted for the test (needs the right to mount), and a file size limit
// (RLIMIT_FSIZE with SIGXFSZ ignored: writes past it fail with EFBIG).
#include <gtest/gtest.h>
#include <signal.h>
#include <sys/mount.h>
#include <sys/resource.h>
#include <sys/statvfs.h>

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <filesystem>
#include <map>
#include <random>
#include <string>
#include <vector>

#include "crypto/key_block.h"
#include "fileenc/encrypted_file_header.h"
#include "fileenc/file_engine.h"
#include "file_test_paths.h"
#include "test_support.h"

namespace vellumo {
namespace {

namespace fs = std::filesystem;
using Bytes = std::vector<uint8_t>;
using testing::RandomBytes;
using testing::P;
using testing::ReadFileBytes;
using testing::TempDir;
using testing::W;
using testing::WriteFileBytes;

const KeyBlock kKey = {'d', 'i', 's', 'k', 'f', 'u', 'l', 'l'};

class Recorder : public Reporter {
 public:
  void FileStarted(Direction, const std::wstring&) override {}
  void Refuse(FileMessage message, const std::wstring& path) override { refusals.push_back(RefusalText(message, path)); }
  std::vector<std::wstring> refusals;
};

enum class Kind { kTmpfs, kFileSizeLimit };

std::string KindName(const ::testing::TestParamInfo<Kind>& info) {
  return info.param == Kind::kTmpfs ? "Tmpfs" : "FileSizeLimit";
}

class DiskFullTest : public ::testing::TestWithParam<Kind> {
 protected:
  void SetUp() override {
    volume_ = dir_.path() / "volume";
    fs::create_directories(volume_);
    if (GetParam() == Kind::kTmpfs) {
      if (::mount("tmpfs", volume_.c_str(), "tmpfs", 0, "size=16m") != 0) {
        GTEST_SKIP() << "cannot mount a tmpfs here: " << std::strerror(errno);
      }
      mounted_ = true;
    }
  }

  void TearDown() override {
    if (limited_) {
      ::setrlimit(RLIMIT_FSIZE, &savedLimit_);
      ::signal(SIGXFSZ, SIG_DFL);
    }
    if (mounted_) ::umount2(volume_.c_str(), MNT_DETACH);
  }

  // Leaves about `bytes` of room for new data: the tmpfs shrinks to what it
  // holds plus that much; under a file size limit no file may grow past it.
  void LeaveRoom(uint64_t bytes) {
    if (GetParam() == Kind::kTmpfs) {
      struct statvfs st;
      ASSERT_EQ(::statvfs(volume_.c_str(), &st), 0);
      const uint64_t used = (st.f_blocks - st.f_bfree) * st.f_frsize;
      const std::string options = "size=" + std::to_string(used + bytes);
      ASSERT_EQ(::mount("tmpfs", volume_.c_str(), "tmpfs", MS_REMOUNT, options.c_str()), 0) << std::strerror(errno);
    } else {
      if (!limited_) {
        ASSERT_EQ(::getrlimit(RLIMIT_FSIZE, &savedLimit_), 0);
      }
      struct rlimit limit = savedLimit_;
      limit.rlim_cur = bytes;
      ::signal(SIGXFSZ, SIG_IGN);
      ASSERT_EQ(::setrlimit(RLIMIT_FSIZE, &limit), 0);
      limited_ = true;
    }
  }

  void RestoreRoom() {
    if (GetParam() == Kind::kTmpfs) {
      ASSERT_EQ(::mount("tmpfs", volume_.c_str(), "tmpfs", MS_REMOUNT, "size=16m"), 0);
    } else if (limited_) {
      ::setrlimit(RLIMIT_FSIZE, &savedLimit_);
      limited_ = false;
    }
  }

  std::wstring Path(const std::string& name) const { return W(volume_ / name); }

  // name -> bytes of every file on the volume.
  std::map<std::string, Bytes> Contents() const {
    std::map<std::string, Bytes> out;
    for (const auto& e : fs::recursive_directory_iterator(volume_)) {
      if (e.is_regular_file()) out[fs::relative(e.path(), volume_).string()] = ReadFileBytes(e.path());
    }
    return out;
  }

  FileJob Job(const std::string& name, bool decrypt) const {
    FileJob job;
    job.path = Path(name);
    job.key = &kKey;
    job.algorithm = kAes;
    job.decrypt = decrypt;
    return job;
  }

  TempDir dir_;
  fs::path volume_;
  bool mounted_ = false;
  bool limited_ = false;
  struct rlimit savedLimit_ {};
  Recorder reporter_;
  FileEngine engine_{reporter_};
};

constexpr size_t kSmall = 3000;
constexpr size_t kLarge = 600 * 1024;
constexpr uint64_t kRoom = 200 * 1024;  // room for the small files' copies, not the large ones'

std::wstring ReadWriteFailed(const std::wstring& path) { return L"文件:" + path + L"  读写失败!"; }

// Each direction over a folder of small and large files: the small ones are
// done, the large ones cannot be and keep their bytes.
TEST_P(DiskFullTest, FilesThatCannotBeTransformedStayAsTheyWereWithOneMessageEach) {
  const std::map<std::string, Bytes> plain = {
      {"a-small.txt", RandomBytes(kSmall, 1)},
      {"b-large.bin", RandomBytes(kLarge, 2)},
      {"c-small.txt", RandomBytes(kSmall + 17, 3)},
      {"d-large.bin", RandomBytes(kLarge + 5, 4)},
  };
  for (const bool decrypt : {false, true}) {
    SCOPED_TRACE(decrypt ? "decrypt" : "encrypt");
    fs::remove_all(volume_ / "tree");
    fs::create_directories(volume_ / "tree");
    for (const auto& [name, bytes] : plain) WriteFileBytes(volume_ / "tree" / name, bytes);
    FileJob folder = Job("tree", false);
    if (decrypt) {
      engine_.ProcessFolder(folder);  // encrypted while there is room
      folder.decrypt = true;
    }
    ASSERT_TRUE(reporter_.refusals.empty());
    const auto before = Contents();
    LeaveRoom(kRoom);
    engine_.ProcessFolder(folder);
    RestoreRoom();

    std::vector<std::wstring> expected;
    const auto after = Contents();
    for (const auto& [name, bytes] : after) EXPECT_TRUE(before.count(name)) << name << " left behind";
    for (const auto& [name, bytes] : before) {
      ASSERT_TRUE(after.count(name)) << name << " lost";
      const Bytes& now = after.at(name);
      if (bytes.size() > kRoom) {
        EXPECT_EQ(now, bytes) << name;
        expected.push_back(ReadWriteFailed(Path(name)));
      } else if (decrypt) {
        EXPECT_EQ(now, plain.at(fs::path(name).filename().string())) << name;
      } else {
        EXPECT_EQ(now.size(), bytes.size() + kHeaderSize) << name;
      }
    }
    std::sort(expected.begin(), expected.end());
    auto got = reporter_.refusals;
    std::sort(got.begin(), got.end());
    EXPECT_EQ(got, expected);
    reporter_.refusals.clear();
  }
}

// Packing a selection the volume has no room for: no archive (plain or
// encrypted) is left, the items are untouched, and the packed file gets one
// message. Second row: the archive itself fits but its encrypted copy does not.
TEST_P(DiskFullTest, APackThatCannotBeFinishedLeavesNoArchive) {
  struct Case {
    const char* what;
    uint64_t room;
  };
  const Case cases[] = {{"no room for the archive", kLarge / 2}, {"no room for its encrypted copy", kLarge * 3 / 2}};
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    if (GetParam() == Kind::kFileSizeLimit && c.room > kLarge) continue;  // a size limit has no sum of files
    fs::remove_all(volume_ / "set");
    fs::create_directories(volume_ / "set" / "folder");
    WriteFileBytes(volume_ / "set" / "first.txt", RandomBytes(kSmall, 5));
    WriteFileBytes(volume_ / "set" / "folder" / "large.bin", RandomBytes(kLarge, 6));
    const auto before = Contents();
    LeaveRoom(c.room);
    reporter_.refusals.clear();
    engine_.PackAndEncrypt({Path("set/first.txt"), Path("set/folder")}, kKey, kAes);
    RestoreRoom();

    EXPECT_EQ(Contents(), before);
    EXPECT_EQ(reporter_.refusals, std::vector<std::wstring>{ReadWriteFailed(Path("set/first.szip"))});
  }
}

INSTANTIATE_TEST_SUITE_P(Volumes, DiskFullTest, ::testing::Values(Kind::kTmpfs, Kind::kFileSizeLimit), KindName);

}  // namespace
}  // namespace vellumo
