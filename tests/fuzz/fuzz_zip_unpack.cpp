// Unpacking of arbitrary archives, as decrypting a packed file does: the input
// is the decrypted archive beside its packed file, unpacked into the folder of
// the packed file's name. Nothing may be written outside that folder.
// (fuzz_unpack_layouts varies the names and what is already on the disk.)
#include <cstdint>
#include <string>

#include "fileenc/file_engine.h"
#include "fuzz_support.h"
#include "quiet_reporter.h"

namespace {

using namespace vellumo;

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  // Two folder levels above the target, so names that climb out land where
  // they are seen.
  const std::filesystem::path root = vellumo::fuzz::ScratchFolder() / "root";
  const std::filesystem::path folder = root / "a" / "b";
  vellumo::fuzz::ResetFolder(root);
  std::filesystem::create_directories(folder);
  const std::filesystem::path archive = folder / "x.szipwritebyqmr";
  vellumo::fuzz::WriteBytes(archive, data, size);

  fuzz::QuietReporter reporter;
  FileEngine engine(reporter, 936);
  engine.UnpackArchive(archive.wstring(), (folder / "x.szip").wstring());

  for (const std::string& path : vellumo::fuzz::PathsBelow(root)) {
    if (path == "a" || path == "a/b" || path == "a/b/x.szipwritebyqmr" || path == "a/b/x" ||
        path.rfind("a/b/x/", 0) == 0) {
      continue;
    }
    vellumo::fuzz::Fail("written outside the target folder: " + path);
  }
  std::error_code error;
  for (auto it = std::filesystem::recursive_directory_iterator(folder, error);
       it != std::filesystem::recursive_directory_iterator(); it.increment(error)) {
    if (it->is_symlink(error)) vellumo::fuzz::Fail("a link was made: " + it->path().string());
  }
  return 0;
}
