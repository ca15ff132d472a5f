// Unpacking of arbitrary archives for packed files of arbitrary names, in
// folders that already hold things: the user's files in the target folder, a
// file or a link in its place, links inside it, a neighbour of the packed file.
// The input steers:
//   byte 0: the layout (bits below)
//   byte 1: bits 0-1 the packed file's folder, bits 2-4 how many name tokens follow
//   then that many bytes, each a token of the packed file's name
//   the rest: the decrypted archive
// Checks: nothing that was there before changes (not the packed file, not a
// neighbour, not a file of the user's in the target folder, nothing a link
// leads to); everything new lies in one folder beside the packed file, which
// is neither the packed file nor its folder; no link is made; and an archive
// that unpacks has only names that stay in that folder and name no device by
// Windows' rules as well, checked here on their own terms.
#include <algorithm>
#include <cstdint>
#include <cwctype>
#include <fstream>
#include <map>
#include <string>
#include <vector>

#include "fileenc/file_engine.h"
#include "fileenc/zip_archive.h"
#include "fuzz_support.h"
#include "quiet_reporter.h"

namespace {

namespace fs = std::filesystem;
using namespace vellumo;

enum Layout : uint8_t {
  kNeighbour = 1,        // a file beside the packed one, named like an entry
  kTargetIsFile = 2,     // a file has the target folder's name
  kUserFiles = 4,        // the target folder exists and holds files of the entries' names
  kLinkInTarget = 8,     // ... and the first entry's first folder is a link to "outside"
  kTargetIsLink = 16,    // the target folder's name is a link to "outside"
};

const char* const kFolders[] = {"a", "john.doe/Desktop", "home/.vault", "x.y"};
const char* const kTokens[] = {"a", "b", ".", "..", " ", "szip", "aux", "NUL", "con", "x", "_", "-", "(2)", "LPT1", "z.", "Q"};

std::wstring Wide(const std::string& s) { return std::wstring(s.begin(), s.end()); }

std::string ReadAll(const fs::path& path) {
  std::ifstream in(path, std::ios::binary);
  return std::string(std::istreambuf_iterator<char>(in), {});
}

// Every path below `root` (links not followed) with what it is and holds.
std::map<std::string, std::string> Snapshot(const fs::path& root) {
  std::map<std::string, std::string> out;
  std::error_code error;
  for (auto it = fs::recursive_directory_iterator(root, error); it != fs::recursive_directory_iterator();
       it.increment(error)) {
    const std::string key = fs::relative(it->path(), root).generic_string();
    if (it->is_symlink(error)) {
      out[key] = "link:" + fs::read_symlink(it->path(), error).string();
    } else if (it->is_directory(error)) {
      out[key] = "folder";
    } else {
      out[key] = "file:" + ReadAll(it->path());
    }
  }
  return out;
}

// Windows' own reading of a name below a folder, written here independently
// of the code under test: both separators, trailing dots and spaces dropped
// from each component, "." and ".." resolved; devices are the names before the
// first dot (trailing spaces dropped) CON PRN AUX NUL COM1-9 LPT1-9 CONIN$ CONOUT$.
bool IsDevice(std::wstring component) {
  component = component.substr(0, component.find(L'.'));
  while (!component.empty() && component.back() == L' ') component.pop_back();
  for (wchar_t& c : component) c = static_cast<wchar_t>(towupper(c));
  static const wchar_t* const kNames[] = {L"CON", L"PRN", L"AUX", L"NUL", L"CONIN$", L"CONOUT$"};
  for (const wchar_t* name : kNames) {
    if (component == name) return true;
  }
  return component.size() == 4 && (component.rfind(L"COM", 0) == 0 || component.rfind(L"LPT", 0) == 0) &&
         ((component[3] >= L'1' && component[3] <= L'9') || component[3] == 0xB9 || component[3] == 0xB2 ||
          component[3] == 0xB3);
}

bool StaysInsideByWindowsRules(const std::wstring& name) {
  if (name.empty() || name[0] == L'/' || name[0] == L'\\' || name.find(L':') != std::wstring::npos) return false;
  int depth = 0;
  size_t start = 0;
  for (;;) {
    const size_t end = name.find_first_of(L"/\\", start);
    const std::wstring component = name.substr(start, end == std::wstring::npos ? std::wstring::npos : end - start);
    if (!component.empty() && component.find_first_not_of(L". ") == std::wstring::npos) {
      // Dots and spaces only: with one dot the folder itself; with more,
      // trimmed or not, taken for the folder above.
      if (std::count(component.begin(), component.end(), L'.') > 1 && --depth < 0) return false;
    } else if (!component.empty()) {
      if (IsDevice(component)) return false;
      ++depth;
    }
    if (end == std::wstring::npos) return true;
    start = end + 1;
  }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  if (size < 2) return 0;
  const uint8_t layout = data[0];
  const std::string folderName = kFolders[data[1] & 3];
  size_t tokens = (data[1] >> 2) & 7;
  if (size < 2 + tokens) return 0;
  std::string name;
  for (size_t i = 0; i < tokens; ++i) name += kTokens[data[2 + i] & 15];
  if (name.empty() || name.find_first_not_of(". ") == std::string::npos) name = "p";
  const uint8_t* archiveBytes = data + 2 + tokens;
  const size_t archiveSize = size - 2 - tokens;

  const fs::path root = fuzz::ScratchFolder() / "root";
  fuzz::ResetFolder(root);
  const fs::path folder = root / folderName;
  const fs::path outside = root / "outside";
  fs::create_directories(folder);
  fs::create_directories(outside);
  fuzz::WriteBytes(outside / "o.txt", "outside", 7);
  const fs::path packed = folder / name;
  fuzz::WriteBytes(packed, "packed", 6);
  const std::wstring packedPath = Wide(packed.string());
  const std::wstring archivePath = TemporaryPathFor(packedPath);
  fuzz::WriteBytes(fs::path(std::string(archivePath.begin(), archivePath.end())), archiveBytes, archiveSize);

  // The entries, as the zip layer reads them, for the layout to use.
  std::vector<std::wstring> entryNames;
  {
    ArchiveReader reader = OpenArchive(archivePath, 936);
    for (int i = 0; reader && i < GetEntryCount(reader.get()); ++i) {
      ZipEntryInfo entry;
      if (GetEntry(reader.get(), i, entry) == kZipOk && !(entry.attributes & kAttrDirectory)) {
        entryNames.push_back(entry.name);
      }
    }
  }
  const std::wstring targetWide = UnpackFolderFor(packedPath);
  const fs::path target(std::string(targetWide.begin(), targetWide.end()));
  auto inTarget = [&](const std::wstring& entry) {
    std::string relative;
    for (wchar_t c : entry) relative += c == L'\\' ? '/' : static_cast<char>(c);
    return target / relative;
  };
  // Only plain ASCII entry names are put in the way; others reach the engine as they are.
  auto plain = [](const std::wstring& entry) {
    return StaysInsideByWindowsRules(entry) && entry.back() != L'/' && entry.back() != L'\\' &&
           std::all_of(entry.begin(), entry.end(), [](wchar_t c) { return c > 32 && c < 127 && c != ':'; });
  };
  std::error_code error;
  if ((layout & kNeighbour) && !entryNames.empty() && plain(entryNames[0])) {
    const fs::path neighbour = folder / fs::path(inTarget(entryNames[0])).filename();
    if (!fs::exists(neighbour, error)) fuzz::WriteBytes(neighbour, "neighbour", 9);
  }
  if (layout & kTargetIsLink) {
    fs::create_directory_symlink(outside, target, error);
  } else if (layout & kTargetIsFile) {
    fuzz::WriteBytes(target, "in the way", 10);
  } else if (layout & (kUserFiles | kLinkInTarget)) {
    fs::create_directories(target, error);
    for (size_t i = 0; (layout & kUserFiles) && i < entryNames.size() && i < 4; ++i) {
      if (!plain(entryNames[i])) continue;
      const fs::path path = inTarget(entryNames[i]);
      fs::create_directories(path.parent_path(), error);
      if (!fs::exists(path, error)) fuzz::WriteBytes(path, "the user's", 10);
    }
    if ((layout & kLinkInTarget) && !entryNames.empty() && plain(entryNames[0])) {
      const std::wstring& first = entryNames[0];
      const size_t cut = first.find_first_of(L"/\\");
      if (cut != std::wstring::npos) {
        fs::create_directory_symlink(outside, inTarget(first.substr(0, cut)), error);
      }
    }
  }

  const auto before = Snapshot(root);
  fuzz::QuietReporter reporter;
  FileEngine engine(reporter, 936);
  const FileEngine::UnpackResult result = engine.UnpackArchive(archivePath, packedPath);
  const auto after = Snapshot(root);

  for (const auto& [path, what] : before) {
    const auto now = after.find(path);
    if (now == after.end() || now->second != what) fuzz::Fail("changed or removed what was there: " + path);
  }
  // Everything new lies in one folder directly beside the packed file.
  const std::string folderPrefix = fs::relative(folder, root).generic_string() + "/";
  std::string newFolder;
  for (const auto& [path, what] : after) {
    if (before.count(path)) continue;
    if (what.rfind("link:", 0) == 0) fuzz::Fail("a link was made: " + path);
    if (path.rfind(folderPrefix, 0) != 0) fuzz::Fail("written outside the packed file's folder: " + path);
    const std::string inFolder = path.substr(folderPrefix.size());
    const std::string top = inFolder.substr(0, inFolder.find('/'));
    if (top == name) fuzz::Fail("written at the packed file's own name: " + path);
    if (newFolder.empty()) newFolder = top;
    if (top != newFolder) fuzz::Fail("written into two folders: " + newFolder + " and " + top);
    if (inFolder == top && what != "folder") fuzz::Fail("a file beside the packed file: " + path);
  }
  if (result == FileEngine::UnpackResult::kUnpacked) {
    for (const std::wstring& entry : entryNames) {
      if (!StaysInsideByWindowsRules(entry)) {
        fuzz::Fail("an archive unpacked whose name Windows reads otherwise: " + fuzz::Hex(std::string(entry.begin(), entry.end())));
      }
    }
  }
  return 0;
}
