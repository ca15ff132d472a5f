// The ZIP layer and the packing of a selection: what lands in the archive
// (checked on the raw central directory bytes), what comes back out, and how
// failures leave the disk.
#include <gtest/gtest.h>
#include <zlib.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <map>
#include <random>
#include <set>
#include <string>
#include <vector>

#include "fileenc/archive_packing.h"
#include "fileenc/zip_archive.h"
#include "test_support.h"

namespace vellumo {
namespace {

namespace fs = std::filesystem;
using testing::RandomBytes;
using testing::FromHex;
using testing::ReadFileBytes;
using testing::TempDir;
using testing::ToHex;
using testing::WriteFileBytes;

// Paths between std::filesystem and the wide strings of the code under test.
fs::path P(const std::wstring& wide) {
#ifdef _WIN32
  return fs::path(wide);
#else
  return fs::path(testing::Narrow(wide));
#endif
}

std::wstring W(const fs::path& path) {
#ifdef _WIN32
  return path.wstring();
#else
  return testing::Widen(path.string());
#endif
}

std::vector<uint8_t> Bytes(const std::string& text) { return {text.begin(), text.end()}; }

// One central directory record, read straight from the archive's bytes.
struct CentralRecord {
  uint16_t madeBy = 0, flags = 0, method = 0;
  uint32_t dosDateTime = 0, crc = 0, compressedSize = 0, size = 0, externalAttributes = 0, localOffset = 0;
  std::string name;  // raw bytes
};

uint32_t Le(const std::vector<uint8_t>& b, size_t at, int width) {
  uint32_t v = 0;
  for (int i = width - 1; i >= 0; --i) v = (v << 8) | b.at(at + static_cast<size_t>(i));
  return v;
}

std::vector<CentralRecord> ReadCentralDirectory(const fs::path& archive) {
  const std::vector<uint8_t> b = ReadFileBytes(archive);
  size_t end = b.size() >= 22 ? b.size() - 22 : 0;
  while (end > 0 && Le(b, end, 4) != 0x06054b50) --end;
  EXPECT_EQ(Le(b, end, 4), 0x06054b50u) << "no end record";
  EXPECT_EQ(Le(b, end + 20, 2), 0u) << "archive comment";
  const uint32_t count = Le(b, end + 10, 2);
  size_t at = Le(b, end + 16, 4);
  std::vector<CentralRecord> records;
  for (uint32_t i = 0; i < count; ++i) {
    EXPECT_EQ(Le(b, at, 4), 0x02014b50u);
    CentralRecord r;
    r.madeBy = static_cast<uint16_t>(Le(b, at + 4, 2));
    r.flags = static_cast<uint16_t>(Le(b, at + 8, 2));
    r.method = static_cast<uint16_t>(Le(b, at + 10, 2));
    r.dosDateTime = Le(b, at + 12, 4);
    r.crc = Le(b, at + 16, 4);
    r.compressedSize = Le(b, at + 20, 4);
    r.size = Le(b, at + 24, 4);
    const uint32_t nameLength = Le(b, at + 28, 2);
    const uint32_t extraLength = Le(b, at + 30, 2);
    const uint32_t commentLength = Le(b, at + 32, 2);
    r.externalAttributes = Le(b, at + 38, 4);
    r.localOffset = Le(b, at + 42, 4);
    r.name.assign(b.begin() + static_cast<long>(at + 46), b.begin() + static_cast<long>(at + 46 + nameLength));
    records.push_back(r);
    at += 46 + nameLength + extraLength + commentLength;
  }
  return records;
}

std::string HexOf(const std::string& raw) {
  return ToHex(reinterpret_cast<const uint8_t*>(raw.data()), raw.size());
}

uint32_t DosDateTime(int y, int mo, int d, int h, int mi, int s) {
  return static_cast<uint32_t>(((y - 1980) << 25) | (mo << 21) | (d << 16) | (h << 11) | (mi << 5) | (s / 2));
}

// Reads every entry's description.
std::vector<ZipEntryInfo> ListEntries(ZipReader* reader) {
  std::vector<ZipEntryInfo> out;
  const int count = GetEntryCount(reader);
  for (int i = 0; i < count; ++i) {
    ZipEntryInfo e;
    EXPECT_EQ(GetEntry(reader, i, e), kZipOk) << i;
    out.push_back(e);
  }
  return out;
}

// Extracts every file entry below `target` the way unpacking does.
void ExtractFiles(ZipReader* reader, const fs::path& target) {
  const int count = GetEntryCount(reader);
  for (int i = 0; i < count; ++i) {
    ZipEntryInfo e;
    ASSERT_EQ(GetEntry(reader, i, e), kZipOk);
    if (e.attributes & kAttrDirectory) continue;
    ASSERT_EQ(ExtractEntry(reader, i, W(target) + kPathSeparator + e.name), kZipOk) << testing::Narrow(e.name);
  }
}

std::set<fs::path> FilesBelow(const fs::path& folder) {
  std::set<fs::path> out;
  for (const auto& e : fs::recursive_directory_iterator(folder)) out.insert(fs::relative(e.path(), folder));
  return out;
}

// Entry names are bytes of the system ANSI code page; the tests expect 936.
void ExpectCodePage936() {
  ASSERT_EQ(ToHex(Bytes(ToAnsi(L"中文", kSystemAnsiCodePage))), "d6d0cec4")
      << "the system ANSI code page is not 936 (run under LC_ALL=zh_CN.UTF-8)";
}

TEST(ArchivePacking, ChineseFileAndTreeRoundTripWithCodePageNames) {
  ASSERT_NO_FATAL_FAILURE(ExpectCodePage936());
  TempDir tmp;
  const fs::path src = tmp / "src";
  const fs::path photos = src / P(L"照片");
  fs::create_directories(photos / P(L"旧"));
  fs::create_directories(photos / P(L"空"));
  const std::map<std::wstring, std::vector<uint8_t>> files = {
      {L"报告.txt", Bytes("quarterly report\r\n")},
      {L"照片/a.jpg", RandomBytes(300000, 1)},  // several read blocks, incompressible
      {L"照片/旧/b.TGZ", RandomBytes(5000, 2)},
      {L"照片/旧/零.txt", {}},
  };
  for (const auto& [name, data] : files) WriteFileBytes(src / P(name), data);

  const fs::path zip = tmp / "packed.zip";
  ArchiveWriter writer = CreateArchive(W(zip));
  ASSERT_TRUE(writer);
  EXPECT_TRUE(AddPathToArchive(writer.get(), W(src / P(L"报告.txt"))));
  EXPECT_TRUE(AddPathToArchive(writer.get(), W(photos)));
  ASSERT_EQ(CloseArchive(writer), kZipOk);
  EXPECT_FALSE(writer);

  // Raw names: code page 936 bytes, "/" separators, folder entries first.
  const std::map<std::string, bool> expected = {  // hex name -> folder
      {"b1a8b8e62e747874", false},            // 报告.txt
      {"d5d5c6ac2f", true},                   // 照片/
      {"d5d5c6ac2f612e6a7067", false},        // 照片/a.jpg
      {"d5d5c6ac2fbec92f", true},             // 照片/旧/
      {"d5d5c6ac2fbec92f622e54475a", false},  // 照片/旧/b.TGZ
      {"d5d5c6ac2fbec92fc1e32e747874", false},  // 照片/旧/零.txt
      {"d5d5c6ac2fbfd52f", true},             // 照片/空/
  };
  const auto records = ReadCentralDirectory(zip);
  std::map<std::string, bool> seen;
  for (size_t i = 0; i < records.size(); ++i) {
    const CentralRecord& r = records[i];
    const std::string hex = HexOf(r.name);
    SCOPED_TRACE(hex);
    seen[hex] = (r.externalAttributes & kAttrDirectory) != 0;
    EXPECT_EQ(r.flags & 0x0800, 0) << "UTF-8 flag set";
    EXPECT_EQ(r.flags & 0x0001, 0) << "encrypted";
    EXPECT_EQ(r.madeBy >> 8, 0) << "host must be MS-DOS so readers take DOS attributes";
    EXPECT_EQ(r.name.find('\\'), std::string::npos);
    if (r.name.back() == '/') {
      EXPECT_EQ(r.method, 0);
      EXPECT_EQ(r.size, 0u);
    } else {
      EXPECT_EQ(r.method, r.name.size() > 4 && r.name.substr(r.name.size() - 4) == ".TGZ" ? 0 : 8);
    }
    // Every entry comes after the entry of the folder holding it.
    const size_t slash = r.name.find_last_of('/', r.name.size() - 2);
    if (slash != std::string::npos) {
      const std::string parent = r.name.substr(0, slash + 1);
      const auto before = std::find_if(records.begin(), records.begin() + static_cast<long>(i),
                                       [&](const CentralRecord& o) { return o.name == parent; });
      EXPECT_NE(before, records.begin() + static_cast<long>(i)) << "folder entry missing or late";
    }
  }
  EXPECT_EQ(seen, expected);

  ArchiveReader reader = OpenArchive(W(zip));
  ASSERT_TRUE(reader);
  ASSERT_EQ(GetEntryCount(reader.get()), 7);
  std::set<std::wstring> names;
  for (const ZipEntryInfo& e : ListEntries(reader.get())) {
    names.insert(e.name);
    if (e.attributes & kAttrDirectory) continue;
    EXPECT_EQ(e.size, files.at(e.name).size());
  }
  EXPECT_EQ(names, (std::set<std::wstring>{L"报告.txt", L"照片/", L"照片/a.jpg", L"照片/旧/", L"照片/旧/b.TGZ",
                                           L"照片/旧/零.txt", L"照片/空/"}));
  const fs::path out = tmp / "out";
  ExtractFiles(reader.get(), out);
  EXPECT_EQ(CloseReader(reader), kZipOk);
  for (const auto& [name, data] : files) EXPECT_EQ(ReadFileBytes(out / P(name)), data) << testing::Narrow(name);
  // Folder entries are skipped, so the empty folder does not come back; nothing else appears.
  EXPECT_EQ(FilesBelow(out), (std::set<fs::path>{P(L"报告.txt"), P(L"照片"), P(L"照片/a.jpg"), P(L"照片/旧"),
                                                 P(L"照片/旧/b.TGZ"), P(L"照片/旧/零.txt")}));
}

TEST(ZipLayer, StoresAlreadyCompressedFormatsByNameSuffix) {
  const struct {
    const wchar_t* name;
    uint16_t method;
  } cases[] = {
      {L"a.txt", 8},   {L"b.zip", 0},       {L"x.TGZ", 0},    {L"y.Z", 0},        {L"z.gzip", 8},
      {L"c.arc", 0},   {L"d.LZH", 0},       {L"e.arj", 0},    {L"f.Zoo", 0},      {L"g.gz", 0},
      {L"h.tar.gz", 0}, {L"README", 8},     {L".gz", 0},      {L"k.zipx", 8},     {L"m.z.txt", 8},
      {L"dir.zip\\inner", 8},  // the suffix is taken from the whole entry name
  };
  TempDir tmp;
  const fs::path source = tmp / "source.bin";
  const std::vector<uint8_t> data(4000, 'A');
  WriteFileBytes(source, data);
  const fs::path zip = tmp / "suffixes.zip";
  ArchiveWriter writer = CreateArchive(W(zip));
  ASSERT_TRUE(writer);
  for (const auto& c : cases) ASSERT_EQ(AddFileEntry(writer.get(), c.name, W(source)), kZipOk);
  ASSERT_EQ(CloseArchive(writer), kZipOk);

  const auto records = ReadCentralDirectory(zip);
  ASSERT_EQ(records.size(), std::size(cases));
  const uint32_t crc = static_cast<uint32_t>(crc32(0, data.data(), static_cast<uInt>(data.size())));
  for (size_t i = 0; i < records.size(); ++i) {
    SCOPED_TRACE(testing::Narrow(cases[i].name));
    std::string stored = ToAnsi(cases[i].name, kSystemAnsiCodePage);
    std::replace(stored.begin(), stored.end(), '\\', '/');
    EXPECT_EQ(records[i].name, stored);
    EXPECT_EQ(records[i].method, cases[i].method);
    EXPECT_EQ(records[i].crc, crc);
    EXPECT_EQ(records[i].size, data.size());
    EXPECT_EQ(records[i].compressedSize < data.size(), cases[i].method == 8);
  }
  // Stored and deflated entries both read back.
  ArchiveReader reader = OpenArchive(W(zip));
  ASSERT_TRUE(reader);
  for (int i : {1, 4}) {
    const fs::path target = tmp / ("out" + std::to_string(i));
    ASSERT_EQ(ExtractEntry(reader.get(), i, W(target)), kZipOk);
    EXPECT_EQ(ReadFileBytes(target), data);
  }
}

TEST(ZipLayer, FolderEntriesAreStoredDirectoriesDatedNow) {
  ASSERT_NO_FATAL_FAILURE(ExpectCodePage936());
  TempDir tmp;
  const fs::path zip = tmp / "folders.zip";
  ArchiveWriter writer = CreateArchive(W(zip));
  ASSERT_TRUE(writer);
  const LocalTime before = CurrentLocalTime();
  ASSERT_EQ(AddFolderEntry(writer.get(), L"空\\子"), kZipOk);
  ASSERT_EQ(AddFolderEntry(writer.get(), L"done/"), kZipOk);
  const LocalTime after = CurrentLocalTime();
  ASSERT_EQ(CloseArchive(writer), kZipOk);

  const auto records = ReadCentralDirectory(zip);
  ASSERT_EQ(records.size(), 2u);
  EXPECT_EQ(HexOf(records[0].name), "bfd52fd7d32f");  // 空/子/
  EXPECT_EQ(records[1].name, "done/");
  for (const auto& r : records) {
    EXPECT_EQ(r.method, 0);
    EXPECT_EQ(r.size, 0u);
    EXPECT_EQ(r.compressedSize, 0u);
    EXPECT_EQ(r.externalAttributes, kAttrDirectory);
    const uint32_t low = DosDateTime(before.year, before.month, before.day, before.hour, before.minute, before.second);
    const uint32_t high = DosDateTime(after.year, after.month, after.day, after.hour, after.minute, after.second);
    EXPECT_GE(r.dosDateTime, low);
    EXPECT_LE(r.dosDateTime, high);
  }

  ArchiveReader reader = OpenArchive(W(zip));
  ASSERT_TRUE(reader);
  ZipEntryInfo e;
  ASSERT_EQ(GetEntry(reader.get(), 0, e), kZipOk);
  EXPECT_EQ(e.name, L"空/子/");
  EXPECT_NE(e.attributes & kAttrDirectory, 0u);
  // Extracting a folder entry makes the folder, not a file.
  ASSERT_EQ(ExtractEntry(reader.get(), 0, W(tmp / "x" / "y")), kZipOk);
  EXPECT_TRUE(fs::is_directory(tmp / "x" / "y"));
}

TEST(ZipLayer, KeepsDosTimeAndAttributes) {
  TempDir tmp;
  const fs::path source = tmp / "dated.txt";
  WriteFileBytes(source, Bytes("dated"));
  const LocalTime when{2021, 3, 4, 5, 6, 8};
  ASSERT_TRUE(SetLastWriteTime(W(source), when));
#ifdef _WIN32
  const uint32_t attributes = kAttrReadOnly | kAttrHidden | kAttrArchive;
#else
  const uint32_t attributes = kAttrReadOnly;  // the only bit POSIX keeps
#endif
  ASSERT_TRUE(SetAttributes(W(source), attributes));

  const fs::path zip = tmp / "dated.zip";
  ArchiveWriter writer = CreateArchive(W(zip));
  ASSERT_TRUE(writer);
  ASSERT_TRUE(AddPathToArchive(writer.get(), W(source)));
  ASSERT_EQ(CloseArchive(writer), kZipOk);

  const auto records = ReadCentralDirectory(zip);
  ASSERT_EQ(records.size(), 1u);
  EXPECT_EQ(records[0].name, "dated.txt");
  EXPECT_EQ(records[0].dosDateTime, DosDateTime(2021, 3, 4, 5, 6, 8));
  EXPECT_EQ(records[0].externalAttributes, attributes);

  ArchiveReader reader = OpenArchive(W(zip));
  ASSERT_TRUE(reader);
  ZipEntryInfo e;
  ASSERT_EQ(GetEntry(reader.get(), 0, e), kZipOk);
  EXPECT_EQ(e.attributes, attributes);
  EXPECT_EQ(std::make_tuple(e.time.year, e.time.month, e.time.day, e.time.hour, e.time.minute, e.time.second),
            std::make_tuple(2021, 3, 4, 5, 6, 8));
  const fs::path target = tmp / "out" / "dated.txt";
  ASSERT_EQ(ExtractEntry(reader.get(), 0, W(target)), kZipOk);
  EXPECT_EQ(ReadFileBytes(target), Bytes("dated"));
  LocalTime restored;
  ASSERT_TRUE(GetLastWriteTime(W(target), restored));
  EXPECT_EQ(std::make_tuple(restored.year, restored.month, restored.day, restored.hour, restored.minute,
                            restored.second),
            std::make_tuple(2021, 3, 4, 5, 6, 8));
  EXPECT_EQ(GetAttributes(W(target)) & (kAttrReadOnly | kAttrHidden | kAttrSystem), attributes & ~kAttrArchive);
  SetNormalAttributes(W(source));
  SetNormalAttributes(W(target));
}

TEST(ArchivePacking, SameNamedFilesBothStoredAndTheLaterWins) {
  TempDir tmp;
  fs::create_directories(tmp / "a");
  fs::create_directories(tmp / "b");
  WriteFileBytes(tmp / "a" / "same.txt", Bytes("the earlier and longer one"));
  WriteFileBytes(tmp / "b" / "same.txt", Bytes("later"));
  const fs::path zip = tmp / "same.zip";
  ArchiveWriter writer = CreateArchive(W(zip));
  ASSERT_TRUE(writer);
  ASSERT_TRUE(AddPathToArchive(writer.get(), W(tmp / "a" / "same.txt")));
  ASSERT_TRUE(AddPathToArchive(writer.get(), W(tmp / "b" / "same.txt")));
  ASSERT_EQ(CloseArchive(writer), kZipOk);

  ArchiveReader reader = OpenArchive(W(zip));
  ASSERT_TRUE(reader);
  const auto entries = ListEntries(reader.get());
  ASSERT_EQ(entries.size(), 2u);
  EXPECT_EQ(entries[0].name, L"same.txt");
  EXPECT_EQ(entries[1].name, L"same.txt");
  ExtractFiles(reader.get(), tmp / "out");
  EXPECT_EQ(ReadFileBytes(tmp / "out" / "same.txt"), Bytes("later"));
  EXPECT_EQ(FilesBelow(tmp / "out"), std::set<fs::path>{"same.txt"});
}

TEST(ArchivePacking, EmptyFolderGivesOnlyItsFolderEntry) {
  TempDir tmp;
  fs::create_directories(tmp / "empty");
  const fs::path zip = tmp / "empty.zip";
  ArchiveWriter writer = CreateArchive(W(zip));
  ASSERT_TRUE(writer);
  // A trailing separator still names the folder itself.
  ASSERT_TRUE(AddPathToArchive(writer.get(), W(tmp / "empty") + kPathSeparator));
  ASSERT_EQ(CloseArchive(writer), kZipOk);
  const auto records = ReadCentralDirectory(zip);
  ASSERT_EQ(records.size(), 1u);
  EXPECT_EQ(records[0].name, "empty/");
  EXPECT_EQ(records[0].externalAttributes, kAttrDirectory);

  ArchiveReader reader = OpenArchive(W(zip));
  ASSERT_TRUE(reader);
  fs::create_directories(tmp / "out");
  ExtractFiles(reader.get(), tmp / "out");
  EXPECT_TRUE(FilesBelow(tmp / "out").empty());
}

TEST(ArchivePacking, RefusesMissingPathsAndNamelessFolders) {
  TempDir tmp;
  const fs::path zip = tmp / "refused.zip";
  ArchiveWriter writer = CreateArchive(W(zip));
  ASSERT_TRUE(writer);
  EXPECT_FALSE(AddPathToArchive(writer.get(), W(tmp / "missing.txt")));
  EXPECT_FALSE(AddPathToArchive(writer.get(), W(tmp / "missing")));
  // A root has no folder name to start its entries with.
  EXPECT_FALSE(AddPathToArchive(writer.get(), W(tmp.path().root_path())));
  ASSERT_EQ(CloseArchive(writer), kZipOk);
  EXPECT_TRUE(ReadCentralDirectory(zip).empty());
  ArchiveReader reader = OpenArchive(W(zip));
  ASSERT_TRUE(reader);
  EXPECT_EQ(GetEntryCount(reader.get()), 0);
}

TEST(ArchivePacking, UnreadableFileStopsThatTreeOnly) {
  TempDir tmp;
  const fs::path tree = tmp / "tree";
  fs::create_directories(tree / "sub");
  for (const char* name : {"f1.txt", "f2.txt", "f3.txt", "sub/s.txt"}) WriteFileBytes(tree / name, Bytes(name));
  WriteFileBytes(tmp / "other.txt", Bytes("other"));
  WriteFileBytes(tree / "bad.txt", Bytes("locked"));
  FileHandle lock;  // held without sharing, so packing cannot open it
  ASSERT_TRUE(lock.OpenReadExclusive(W(tree / "bad.txt")));

  const fs::path zip = tmp / "tree.zip";
  ArchiveWriter writer = CreateArchive(W(zip));
  ASSERT_TRUE(writer);
  EXPECT_FALSE(AddPathToArchive(writer.get(), W(tree)));
  EXPECT_TRUE(AddPathToArchive(writer.get(), W(tmp / "other.txt")));
  ASSERT_EQ(CloseArchive(writer), kZipOk);

  // Everything enumerated before the bad file is in, nothing from it on.
  std::vector<DirEntry> order;
  ASSERT_TRUE(ListFolder(W(tree), order));
  std::set<std::string> expected = {"tree/", "other.txt"};
  for (const DirEntry& e : order) {
    if (e.name == L"bad.txt") break;
    if (e.isFolder) {
      expected.insert({"tree/sub/", "tree/sub/s.txt"});
    } else {
      expected.insert("tree/" + testing::Narrow(e.name));
    }
  }
  std::set<std::string> names;
  for (const auto& r : ReadCentralDirectory(zip)) names.insert(r.name);
  EXPECT_EQ(names, expected);
}

#ifndef _WIN32
// A link in a packed folder is not its content: neither a file it names nor a
// folder it leads to (perhaps the packed folder itself) goes into the archive,
// and the rest of the tree is packed all the same.
TEST(ArchivePacking, LinksInAPackedTreeAreLeftOut) {
  TempDir tmp;
  const fs::path tree = tmp / "tree";
  fs::create_directories(tree / "sub");
  WriteFileBytes(tree / "a.txt", Bytes("a"));
  WriteFileBytes(tree / "sub" / "b.txt", Bytes("b"));
  WriteFileBytes(tmp / "secret.txt", Bytes("outside"));
  fs::create_symlink(tmp / "secret.txt", tree / "to-file");
  fs::create_symlink(tree, tree / "sub" / "loop");
  fs::create_symlink(tmp / "nowhere", tree / "dangling");

  const fs::path zip = tmp / "tree.zip";
  ArchiveWriter writer = CreateArchive(W(zip));
  ASSERT_TRUE(writer);
  EXPECT_TRUE(AddPathToArchive(writer.get(), W(tree)));
  ASSERT_EQ(CloseArchive(writer), kZipOk);
  std::set<std::string> names;
  for (const auto& r : ReadCentralDirectory(zip)) names.insert(r.name);
  EXPECT_EQ(names, (std::set<std::string>{"tree/", "tree/a.txt", "tree/sub/", "tree/sub/b.txt"}));
}
#endif

// With ExistingFile::kKeep nothing already in the target folder is replaced:
// the same bytes are not written twice, other bytes go to a numbered name.
TEST(ZipLayer, ExtractionCanKeepWhatIsThere) {
  TempDir tmp;
  WriteFileBytes(tmp / "a.txt", Bytes("packed"));
  const fs::path zip = tmp / "a.zip";
  ArchiveWriter writer = CreateArchive(W(zip));
  ASSERT_TRUE(writer);
  ASSERT_EQ(AddFileEntry(writer.get(), L"a.txt", W(tmp / "a.txt")), kZipOk);
  ASSERT_EQ(CloseArchive(writer), kZipOk);
  ArchiveReader reader = OpenArchive(W(zip));
  ASSERT_TRUE(reader);

  const fs::path out = tmp / "out";
  fs::create_directories(out);
  const std::wstring target = W(out / "a.txt");
  const struct {
    const char* what;
    std::set<fs::path> after;
  } steps[] = {
      {"a free name is taken", {"a.txt"}},
      {"the same bytes again write nothing", {"a.txt"}},
      {"bytes of the user's beside the user's file", {"a.txt", "a (2).txt"}},
      {"and not twice", {"a.txt", "a (2).txt"}},
  };
  for (const auto& step : steps) {
    SCOPED_TRACE(step.what);
    if (std::string(step.what).rfind("bytes of the user's", 0) == 0) WriteFileBytes(out / "a.txt", Bytes("edited"));
    ASSERT_EQ(ExtractEntry(reader.get(), 0, target, ExistingFile::kKeep), kZipOk);
    EXPECT_EQ(FilesBelow(out), step.after);
  }
  EXPECT_EQ(ReadFileBytes(out / "a.txt"), Bytes("edited"));
  EXPECT_EQ(ReadFileBytes(out / "a (2).txt"), Bytes("packed"));

  // A folder, or a link pointing anywhere, in the entry's place stays too.
  fs::create_directories(out / "b" / "inside");
  EXPECT_EQ(ExtractEntry(reader.get(), 0, W(out / "b"), ExistingFile::kKeep), kZipOk);
  EXPECT_TRUE(fs::is_directory(out / "b" / "inside"));
  EXPECT_EQ(ReadFileBytes(out / "b (2)"), Bytes("packed"));
#ifndef _WIN32
  fs::create_symlink(tmp / "elsewhere", out / "c.txt");
  EXPECT_EQ(ExtractEntry(reader.get(), 0, W(out / "c.txt"), ExistingFile::kKeep), kZipOk);
  EXPECT_TRUE(fs::is_symlink(out / "c.txt"));
  EXPECT_FALSE(fs::exists(tmp / "elsewhere"));
  EXPECT_EQ(ReadFileBytes(out / "c (2).txt"), Bytes("packed"));
#endif
}

TEST(ZipLayer, ExtractionReplacesExistingFilesWholly) {
  TempDir tmp;
  WriteFileBytes(tmp / "short.txt", Bytes("new"));
  const fs::path zip = tmp / "short.zip";
  ArchiveWriter writer = CreateArchive(W(zip));
  ASSERT_TRUE(writer);
  ASSERT_EQ(AddFileEntry(writer.get(), L"deep\\short.txt", W(tmp / "short.txt")), kZipOk);
  ASSERT_EQ(CloseArchive(writer), kZipOk);

  const fs::path out = tmp / "out";
  fs::create_directories(out / "deep");
  const fs::path target = out / "deep" / "short.txt";
  WriteFileBytes(target, Bytes("an older and much longer content"));
  ASSERT_TRUE(SetAttributes(W(target), kAttrReadOnly));
  ArchiveReader reader = OpenArchive(W(zip));
  ASSERT_TRUE(reader);
  ExtractFiles(reader.get(), out);
  EXPECT_EQ(ReadFileBytes(target), Bytes("new"));
  EXPECT_EQ(FilesBelow(out), (std::set<fs::path>{"deep", fs::path("deep") / "short.txt"}));
  // Folders are created from either separator in the target path.
  const std::wstring mixed = W(out) + L"/x\\y/z.txt";
  ASSERT_EQ(ExtractEntry(reader.get(), 0, mixed), kZipOk);
  EXPECT_EQ(ReadFileBytes(out / "x" / "y" / "z.txt"), Bytes("new"));
}

// Offset of an entry's data: after its local header, name and extra field.
size_t DataOffset(const std::vector<uint8_t>& bytes, const CentralRecord& record) {
  return record.localOffset + 30 + Le(bytes, record.localOffset + 26, 2) + Le(bytes, record.localOffset + 28, 2);
}

TEST(ZipLayer, DamagedEntryFailsAndLeavesTheExistingFile) {
  const struct {
    const wchar_t* name;
    uint8_t replacement;  // for the first data byte
    const char* why;
  } cases[] = {
      {L"text.txt", 0xFF, "deflate block of the reserved type 3"},
      {L"stored.zip", 0x00, "stored data whose CRC-32 no longer matches"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.why);
    TempDir tmp;
    WriteFileBytes(tmp / "source", Bytes("some text that deflates: text text text text text"));
    const fs::path zip = tmp / "damaged.zip";
    ArchiveWriter writer = CreateArchive(W(zip));
    ASSERT_TRUE(writer);
    ASSERT_EQ(AddFileEntry(writer.get(), c.name, W(tmp / "source")), kZipOk);
    ASSERT_EQ(CloseArchive(writer), kZipOk);
    std::vector<uint8_t> bytes = ReadFileBytes(zip);
    const auto records = ReadCentralDirectory(zip);
    ASSERT_EQ(records.size(), 1u);
    bytes.at(DataOffset(bytes, records[0])) = c.replacement;
    WriteFileBytes(zip, bytes);

    const fs::path out = tmp / "out";
    fs::create_directories(out);
    const fs::path target = out / P(c.name);
    WriteFileBytes(target, Bytes("keep me"));
    ArchiveReader reader = OpenArchive(W(zip));
    ASSERT_TRUE(reader);
    EXPECT_NE(ExtractEntry(reader.get(), 0, W(target)), kZipOk);
    EXPECT_EQ(ReadFileBytes(target), Bytes("keep me"));
    EXPECT_EQ(FilesBelow(out), std::set<fs::path>{P(c.name)}) << "partial file left behind";
  }
}

#ifndef _WIN32
// A source whose reading fails after its entry was opened: the entry must not
// read back as a complete (empty or truncated) file.
TEST(ZipLayer, SourceReadErrorNeverYieldsAGoodEntry) {
  TempDir tmp;
  const fs::path zip = tmp / "readerror.zip";
  ArchiveWriter writer = CreateArchive(W(zip));
  ASSERT_TRUE(writer);
  // Reading this process's own memory file from offset 0 fails with EIO.
  EXPECT_NE(AddFileEntry(writer.get(), L"mem.txt", L"/proc/self/mem"), kZipOk);
  WriteFileBytes(tmp / "fine.txt", Bytes("fine"));
  ASSERT_EQ(AddFileEntry(writer.get(), L"fine.txt", W(tmp / "fine.txt")), kZipOk);
  ASSERT_EQ(CloseArchive(writer), kZipOk);

  ArchiveReader reader = OpenArchive(W(zip));
  ASSERT_TRUE(reader);
  const auto entries = ListEntries(reader.get());
  for (int i = 0; i < static_cast<int>(entries.size()); ++i) {
    const fs::path target = tmp / "out" / P(entries[static_cast<size_t>(i)].name);
    if (entries[static_cast<size_t>(i)].name == L"mem.txt") {
      EXPECT_NE(ExtractEntry(reader.get(), i, W(target)), kZipOk);
      EXPECT_FALSE(fs::exists(target));
    } else {
      ASSERT_EQ(ExtractEntry(reader.get(), i, W(target)), kZipOk);
      EXPECT_EQ(ReadFileBytes(target), Bytes("fine"));
    }
  }
}
#endif

TEST(ZipLayer, NullHandlesDoNothing) {
  TempDir tmp;
  WriteFileBytes(tmp / "f.txt", Bytes("f"));
  ZipEntryInfo e;
  EXPECT_NE(AddFileEntry(nullptr, L"f.txt", W(tmp / "f.txt")), kZipOk);
  EXPECT_NE(AddFolderEntry(nullptr, L"d"), kZipOk);
  EXPECT_EQ(GetEntryCount(nullptr), -1);
  EXPECT_NE(GetEntry(nullptr, 0, e), kZipOk);
  EXPECT_NE(ExtractEntry(nullptr, 0, W(tmp / "x.txt")), kZipOk);
  EXPECT_FALSE(fs::exists(tmp / "x.txt"));
  ArchiveWriter noWriter;
  ArchiveReader noReader;
  EXPECT_NE(CloseArchive(noWriter), kZipOk);
  EXPECT_NE(CloseReader(noReader), kZipOk);
  EXPECT_FALSE(AddPathToArchive(nullptr, W(tmp / "f.txt")));
  EXPECT_FALSE(AddFolderTree(nullptr, W(tmp.path()), L"."));

  // A closed owner is null, so closing twice is harmless.
  ArchiveWriter writer = CreateArchive(W(tmp / "a.zip"));
  ASSERT_TRUE(writer);
  EXPECT_EQ(CloseArchive(writer), kZipOk);
  EXPECT_NE(CloseArchive(writer), kZipOk);
  ArchiveReader reader = OpenArchive(W(tmp / "a.zip"));
  ASSERT_TRUE(reader);
  EXPECT_NE(GetEntry(reader.get(), 0, e), kZipOk);  // out of range
  EXPECT_NE(ExtractEntry(reader.get(), -1, W(tmp / "x.txt")), kZipOk);
  EXPECT_EQ(CloseReader(reader), kZipOk);
  EXPECT_NE(CloseReader(reader), kZipOk);
}

TEST(ZipLayer, CreateAndOpenFailures) {
  TempDir tmp;
  EXPECT_FALSE(CreateArchive(W(tmp / "no" / "such" / "folder.zip")));

  // A valid archive to damage.
  WriteFileBytes(tmp / "f.txt", Bytes("content"));
  ArchiveWriter writer = CreateArchive(W(tmp / "good.zip"));
  ASSERT_TRUE(writer);
  ASSERT_EQ(AddFileEntry(writer.get(), L"f.txt", W(tmp / "f.txt")), kZipOk);
  ASSERT_EQ(CloseArchive(writer), kZipOk);
  const std::vector<uint8_t> good = ReadFileBytes(tmp / "good.zip");
  std::vector<uint8_t> badCentral = good;
  badCentral.at(Le(good, good.size() - 22 + 16, 4)) = 'X';  // first byte of the central directory

  const struct {
    const char* why;
    std::vector<uint8_t> bytes;
  } cases[] = {
      {"empty file", {}},
      {"not an archive", Bytes("just some text, no end record")},
      {"cut inside the central directory", {good.begin(), good.end() - 30}},
      {"central directory signature damaged", badCentral},
  };
  for (const auto& c : cases) {
    WriteFileBytes(tmp / "bad.zip", c.bytes);
    EXPECT_FALSE(OpenArchive(W(tmp / "bad.zip"))) << c.why;
  }
  EXPECT_FALSE(OpenArchive(W(tmp / "missing.zip")));
}

TEST(ZipLayer, CreateReplacesAnExistingFile) {
  TempDir tmp;
  const fs::path zip = tmp / "old.szip";
  WriteFileBytes(zip, RandomBytes(100000, 3));
  ASSERT_TRUE(SetAttributes(W(zip), kAttrReadOnly));
  ArchiveWriter writer = CreateArchive(W(zip));
  ASSERT_TRUE(writer);
  ASSERT_EQ(AddFolderEntry(writer.get(), L"d"), kZipOk);
  ASSERT_EQ(CloseArchive(writer), kZipOk);
  const auto records = ReadCentralDirectory(zip);
  ASSERT_EQ(records.size(), 1u);
  EXPECT_EQ(records[0].name, "d/");
  EXPECT_LT(fs::file_size(zip), 1000u);
}

TEST(ZipLayer, SafeEntryNames) {
  const struct {
    const wchar_t* name;
    bool safe;
  } cases[] = {
      {L"a.txt", true},          {L"照片/旧/b.jpg", true},   {L"dir\\file", true},   {L"a..b/c", true},
      {L"..a/b", true},          {L"./a", true},           {L"dir/", true},        {L"", false},
      {L"..", false},            {L"../a", false},         {L"..\\a", false},      {L"a/../../b", false},
      {L"a\\..\\..\\b", false},  {L"a/..", false},         {L"/etc/passwd", false}, {L"\\windows", false},
      {L"\\\\server\\share\\x", false}, {L"C:x.txt", false}, {L"C:\\x.txt", false}, {L"c:/x", false},
      {L"a.txt:stream", false},  {L".. /a", false},        {L"a/.../b", false},    {L"a/ . ./b", false},
      // Names Windows takes for devices, in any folder, case, extension or
      // with trailing dots and spaces; and names that only look like them.
      {L"NUL", false},           {L"aux.txt", false},      {L"CON.", false},       {L"dir/com1.log", false},
      {L"LPT9", false},          {L"prn/x.txt", false},    {L"CONIN$", false},     {L"conout$.txt", false},
      {L"COM\u00B9", false},     {L"con .txt", false},     {L"Nul...", false},     {L"a\\Aux.tar.gz", false},
      {L"CONSOLE.txt", true},    {L"com10", true},         {L"lpt0", true},        {L"auxiliary", true},
      {L"nul_file", true},       {L"COM", true},           {L"x.con", true},       {L"my aux.txt", true},
  };
  for (const auto& c : cases) EXPECT_EQ(IsSafeEntryName(c.name), c.safe) << testing::Narrow(c.name);
}

TEST(ZipLayer, CharacterOutsideTheCodePageBecomesQuestionMark) {
  ASSERT_NO_FATAL_FAILURE(ExpectCodePage936());
  TempDir tmp;
  WriteFileBytes(tmp / "src.txt", Bytes("hangul"));
  const fs::path zip = tmp / "q.zip";
  ArchiveWriter writer = CreateArchive(W(zip));
  ASSERT_TRUE(writer);
  ASSERT_EQ(AddFileEntry(writer.get(), L"한中.txt", W(tmp / "src.txt")), kZipOk);
  ASSERT_EQ(CloseArchive(writer), kZipOk);
  const auto records = ReadCentralDirectory(zip);
  ASSERT_EQ(records.size(), 1u);
  EXPECT_EQ(HexOf(records[0].name), "3fd6d02e747874");  // ?中.txt

  ArchiveReader reader = OpenArchive(W(zip));
  ASSERT_TRUE(reader);
  ZipEntryInfo e;
  ASSERT_EQ(GetEntry(reader.get(), 0, e), kZipOk);
  EXPECT_EQ(e.name, L"?中.txt");
#ifdef _WIN32
  // "?" cannot be in a Windows file name, so that entry cannot be extracted.
  fs::create_directories(tmp / "out");
  EXPECT_NE(ExtractEntry(reader.get(), 0, W(tmp / "out") + L"\\" + e.name), kZipOk);
  EXPECT_TRUE(FilesBelow(tmp / "out").empty());
#endif
}

TEST(ZipLayer, ReadsAnArchiveWrittenElsewhere) {
  const nlohmann::json manifest = testing::VectorManifest();
  const auto c = std::find_if(manifest["cases"].begin(), manifest["cases"].end(),
                              [](const nlohmann::json& j) { return j["case"] == "packed_aes_zip"; });
  ASSERT_NE(c, manifest["cases"].end());
  // The plain side of the packed case is the archive itself.
  ArchiveReader reader = OpenArchive(W(testing::VectorFile((*c)["plain_file"].get<std::string>())), 936);
  ASSERT_TRUE(reader);
  const auto& expected = (*c)["zip_entries"];
  ASSERT_EQ(GetEntryCount(reader.get()), static_cast<int>(expected.size()));
  TempDir tmp;
  for (int i = 0; i < static_cast<int>(expected.size()); ++i) {
    const auto& x = expected[static_cast<size_t>(i)];
    ZipEntryInfo e;
    ASSERT_EQ(GetEntry(reader.get(), i, e), kZipOk);
    EXPECT_EQ(e.name, testing::Widen(x["name"].get<std::string>()));
    EXPECT_EQ((e.attributes & kAttrDirectory) != 0, x["is_dir"].get<bool>()) << x["name"];
    EXPECT_EQ(e.size, x["size"].get<uint64_t>());
    if (e.attributes & kAttrDirectory) continue;
    const fs::path target = tmp / ("entry" + std::to_string(i));
    ASSERT_EQ(ExtractEntry(reader.get(), i, W(target)), kZipOk) << x["name"];
    const auto data = ReadFileBytes(target);
    char crc[9];
    std::snprintf(crc, sizeof crc, "%08X", static_cast<unsigned>(crc32(0, data.data(), static_cast<uInt>(data.size()))));
    EXPECT_EQ(crc, x["crc32"].get<std::string>()) << x["name"];
  }
  ZipEntryInfo first;
  ASSERT_EQ(GetEntry(reader.get(), 0, first), kZipOk);
  EXPECT_EQ(std::make_tuple(first.time.year, first.time.month, first.time.day, first.time.hour, first.time.minute),
            std::make_tuple(2024, 5, 1, 12, 30));
}

#ifndef _WIN32
std::string RunCommand(const std::string& command, int& status) {
  std::string output;
  FILE* pipe = popen(command.c_str(), "r");
  if (!pipe) {
    status = -1;
    return output;
  }
  char buffer[4096];
  size_t got;
  while ((got = fread(buffer, 1, sizeof buffer, pipe)) > 0) output.append(buffer, got);
  status = pclose(pipe);
  return output;
}

TEST(ZipLayer, StockUnzipReadsWhatWeWrite) {
  int status = 0;
  RunCommand("unzip -v >/dev/null 2>&1", status);
  if (status != 0) GTEST_SKIP() << "unzip is not installed";
  TempDir tmp;
  fs::create_directories(tmp / "tree" / P(L"子"));
  WriteFileBytes(tmp / "tree" / P(L"子/数据.bin"), RandomBytes(70000, 4));
  WriteFileBytes(tmp / "tree" / "text.txt", std::vector<uint8_t>(50000, 'x'));
  WriteFileBytes(tmp / "tree" / "inner.gz", RandomBytes(1000, 5));
  WriteFileBytes(tmp / "tree" / "empty.txt", {});
  const fs::path zip = tmp / "stock.zip";
  ArchiveWriter writer = CreateArchive(W(zip));
  ASSERT_TRUE(writer);
  ASSERT_TRUE(AddPathToArchive(writer.get(), W(tmp / "tree")));
  ASSERT_EQ(CloseArchive(writer), kZipOk);

  const std::string quoted = "'" + zip.string() + "'";
  const std::string test = RunCommand("unzip -t " + quoted + " 2>&1", status);
  EXPECT_EQ(status, 0) << test;
  EXPECT_NE(test.find("No errors detected"), std::string::npos) << test;
  // The stock tool shows names of MS-DOS entries through its own OEM table, so
  // only the plain ASCII names are compared; the code page bytes are checked
  // on the raw central directory above.
  const std::string names = RunCommand("unzip -Z1 " + quoted, status);
  EXPECT_EQ(status, 0);
  std::set<std::string> ascii;
  int others = 0;
  for (size_t at = 0, nl; (nl = names.find('\n', at)) != std::string::npos; at = nl + 1) {
    const std::string name = names.substr(at, nl - at);
    if (std::all_of(name.begin(), name.end(), [](char c) { return c > 0 && c < 0x7F; })) {
      ascii.insert(name);
    } else {
      ++others;
    }
  }
  EXPECT_EQ(ascii, (std::set<std::string>{"tree/", "tree/text.txt", "tree/inner.gz", "tree/empty.txt"}));
  EXPECT_EQ(others, 2);
}
#endif

}  // namespace
}  // namespace vellumo
