// The file seam: each failure carries the reason the system gave, the path
// text helpers, and writing a file through its temporary name.
#include <gtest/gtest.h>

#include <filesystem>
#include <string>
#include <vector>

#ifndef _WIN32
#include <sys/stat.h>
#endif

#include "platform/file_system.h"
#include "test_support.h"

namespace vellumo {
namespace {

namespace fs = std::filesystem;
using testing::ReadFileBytes;
using testing::TempDir;
using testing::WriteFileBytes;

std::wstring W(const fs::path& path) {
#ifdef _WIN32
  return path.wstring();
#else
  return testing::Widen(path.string());
#endif
}

const std::vector<uint8_t> kBytes = {'s', 'e', 'a', 'm'};

TEST(FileSeamStatus, OpeningSaysWhyItCouldNot) {
  TempDir dir;
  WriteFileBytes(dir / "held.txt", kBytes);
  fs::create_directories(dir / "folder");
  FileHandle holder;
  ASSERT_TRUE(holder.OpenReadExclusive(W(dir / "held.txt")));

  struct Case {
    const char* what;
    fs::path path;
    StatusCode expected;
  } cases[] = {
      {"a missing file", dir / "missing.txt", StatusCode::kNotFound},
      {"a file in a missing folder", dir / "gone" / "x.txt", StatusCode::kNotFound},
      {"a file held by another", dir / "held.txt", StatusCode::kInUse},
#ifndef _WIN32
      // Windows opens no folder with CreateFile; it says "access denied" there.
      {"a folder", dir / "folder", StatusCode::kNotAFile},
#endif
  };
  for (const Case& c : cases) {
    FileHandle file;
    const Status status = file.OpenReadExclusive(W(c.path));
    EXPECT_FALSE(status) << c.what;
    EXPECT_EQ(status.code(), c.expected) << c.what << ": " << testing::Narrow(status.ToString());
    EXPECT_FALSE(file.is_open()) << c.what;
  }
  EXPECT_EQ(holder.OpenReadExclusive(W(dir / "missing.txt")).code(), StatusCode::kNotFound);
}

TEST(FileSeamStatus, ListingAMissingFolderSaysSo) {
  TempDir dir;
  std::vector<DirEntry> entries;
  const Status status = ListFolder(W(dir / "nowhere"), entries);
  EXPECT_EQ(status.code(), StatusCode::kNotFound);
  EXPECT_NE(status.osError(), 0);
  EXPECT_TRUE(ListFolder(W(dir.path()), entries));
}

TEST(FileSeamStatus, TextNamesTheReasonAndTheSystemsNumber) {
  EXPECT_EQ(Status().ToString(), L"ok");
  EXPECT_EQ(Status(StatusCode::kNoSpace, 28).ToString(), L"disk full (os error 28)");
  EXPECT_EQ(Status(StatusCode::kNotAFile, 0).ToString(), L"not a plain file");
  EXPECT_TRUE(Status().ok());
  EXPECT_FALSE(Status(StatusCode::kIoError, 5).ok());
}

TEST(FilePath, SeparatorsAndParents) {
  struct Case {
    std::wstring path, parent, name;
  } cases[] = {
      {L"name.txt", L".", L"name.txt"},
#ifdef _WIN32
      {L"C:\\docs\\a.txt", L"C:\\docs", L"a.txt"},
      {L"C:\\docs/sub/a.txt", L"C:\\docs/sub", L"a.txt"},  // either slash counts
      {L"\\a.txt", L"\\", L"a.txt"},
#else
      {L"/home/u/a.txt", L"/home/u", L"a.txt"},
      {L"/a.txt", L"/", L"a.txt"},
      {L"dir\\a.txt", L".", L"dir\\a.txt"},  // a backslash is part of a POSIX name
#endif
  };
  for (const Case& c : cases) {
    EXPECT_EQ(ParentFolder(c.path), c.parent) << testing::Narrow(c.path);
    EXPECT_EQ(FileNamePart(c.path), c.name) << testing::Narrow(c.path);
  }
  EXPECT_EQ(TemporaryPathFor(L"a.txt"), L"a.txtwritebyqmr");
}

TEST(FilePath, ExtensionsAndNumberedNames) {
  struct Case {
    std::wstring name;
    size_t extension;
    std::wstring second;
  } cases[] = {
      {L"report.doc", 6, L"report (2).doc"},
      {L"a.tar.gz", 5, L"a.tar (2).gz"},
      {L"README", std::wstring::npos, L"README (2)"},
      {L".env", std::wstring::npos, L".env (2)"},  // a leading dot is no extension
      {L".config.json", 7, L".config (2).json"},
      {L"x.", 1, L"x (2)."},
  };
  for (const Case& c : cases) {
    EXPECT_EQ(ExtensionStart(c.name), c.extension) << testing::Narrow(c.name);
    EXPECT_EQ(NumberedName(c.name, 2), c.second) << testing::Narrow(c.name);
  }
  // Only the file name's own dots count.
  const std::wstring folder = JoinPath(L"john.doe", L"plan");
  EXPECT_EQ(NumberedName(folder, 3), JoinPath(L"john.doe", L"plan (3)"));
}

TEST(FilePath, FreeNamesAreFoundAndTheSearchEnds) {
  TempDir dir;
  const std::wstring name = W(dir / "a.szip");
  EXPECT_EQ(FreeName(name), name);
  WriteFileBytes(dir / "a.szip", kBytes);
  EXPECT_EQ(FreeName(name), W(dir / "a (2).szip"));
  fs::create_directories(dir / "a (2).szip");
#ifndef _WIN32
  fs::create_symlink(dir / "nowhere", dir / "a (3).szip");  // a dangling link takes its name too
  EXPECT_EQ(FreeName(name), W(dir / "a (4).szip"));
#endif
  for (int n = 2; n <= kMaxNumberedNames; ++n) {
    if (!PathExists(NumberedName(name, n)) && !IsSymbolicLink(NumberedName(name, n))) {
      WriteFileBytes(dir / fs::path(NumberedName(name, n)).filename(), kBytes);
    }
  }
  EXPECT_EQ(FreeName(name), L"");
}

TEST(FileSeam, MovingWithoutReplacingLeavesWhatIsThere) {
  TempDir dir;
  WriteFileBytes(dir / "from", kBytes);
  WriteFileBytes(dir / "file", {'o', 'l', 'd'});
  fs::create_directories(dir / "folder");
  std::vector<fs::path> taken = {dir / "file", dir / "folder"};
#ifndef _WIN32
  fs::create_symlink(dir / "nowhere", dir / "dangling");
  taken.push_back(dir / "dangling");
#endif
  for (const fs::path& to : taken) {
    const Status moved = MoveWithoutReplacing(W(dir / "from"), W(to));
    EXPECT_EQ(moved.code(), StatusCode::kAlreadyExists) << to.string();
    EXPECT_TRUE(fs::exists(dir / "from"));
  }
  EXPECT_EQ(ReadFileBytes(dir / "file"), std::vector<uint8_t>({'o', 'l', 'd'}));
  EXPECT_FALSE(fs::exists(dir / "nowhere"));
  ASSERT_TRUE(MoveWithoutReplacing(W(dir / "from"), W(dir / "to")));
  EXPECT_EQ(ReadFileBytes(dir / "to"), kBytes);
  EXPECT_FALSE(fs::exists(dir / "from"));
}

#ifndef _WIN32
// The temporary file may hold plaintext: owner-only from its creation, also
// when a stale one that others could read is reused.
TEST(TemporaryFile, IsReadableByItsOwnerOnly) {
  TempDir dir;
  const mode_t oldMask = ::umask(0);
  WriteFileBytes(dir / "s.txtwritebyqmr", kBytes);
  fs::permissions(dir / "s.txtwritebyqmr", fs::perms::all);
  for (const char* name : {"s.txt", "fresh.txt"}) {
    FileHandle out;
    ASSERT_TRUE(CreateTemporary(out, TemporaryPathFor(W(dir / name))));
    EXPECT_EQ(fs::status(dir / (std::string(name) + "writebyqmr")).permissions(),
              fs::perms::owner_read | fs::perms::owner_write)
        << name;
  }
  ::umask(oldMask);
}
#endif

TEST(TemporaryFile, ReplacesTheTargetAndDropsItsReadOnlyFlag) {
  TempDir dir;
  const std::wstring target = W(dir / "t.txt");
  WriteFileBytes(dir / "t.txt", {'o', 'l', 'd'});
  ASSERT_TRUE(SetAttributes(target, kAttrReadOnly));
  // A stale read-only temporary file of an interrupted run is overwritten.
  WriteFileBytes(dir / "t.txtwritebyqmr", std::vector<uint8_t>(100, 'x'));
  ASSERT_TRUE(SetAttributes(TemporaryPathFor(target), kAttrReadOnly));

  FileHandle out;
  ASSERT_TRUE(CreateTemporary(out, TemporaryPathFor(target)));
  ASSERT_TRUE(out.Write(kBytes.data(), kBytes.size()));
  ASSERT_TRUE(out.Close());
  ASSERT_TRUE(ReplaceWithTemporary(TemporaryPathFor(target), target, FolderSync::kNow));
  EXPECT_EQ(ReadFileBytes(dir / "t.txt"), kBytes);
  EXPECT_FALSE(fs::exists(dir / "t.txtwritebyqmr"));
  EXPECT_EQ(GetAttributes(target) & kAttrReadOnly, 0u);
}

TEST(TemporaryFile, AFailedReplaceKeepsTheTargetAndItsFlagAndDropsTheTemporary) {
  TempDir dir;
  // The target is a folder with something in it: no file can take its place.
  fs::create_directories(dir / "t" / "inside");
  const std::wstring target = W(dir / "t");
#ifndef _WIN32
  // (Wine keeps no read-only flag on a folder, so there only the rest is checked.)
  ASSERT_TRUE(SetAttributes(target, kAttrReadOnly));
#endif
  FileHandle out;
  ASSERT_TRUE(CreateTemporary(out, TemporaryPathFor(target)));
  ASSERT_TRUE(out.Close());

  const Status replaced = ReplaceWithTemporary(TemporaryPathFor(target), target, FolderSync::kNow);
  EXPECT_FALSE(replaced);
  EXPECT_NE(replaced.osError(), 0);
  EXPECT_TRUE(fs::is_directory(dir / "t" / "inside"));
#ifndef _WIN32
  EXPECT_NE(GetAttributes(target) & kAttrReadOnly, 0u);
#endif
  EXPECT_FALSE(fs::exists(dir / "twritebyqmr"));
  SetAttributes(target, 0);
}

}  // namespace
}  // namespace vellumo
