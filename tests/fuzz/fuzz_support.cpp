#include "fuzz_support.h"

#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <fstream>

namespace vellumo::fuzz {
namespace fs = std::filesystem;

namespace {

struct Scratch {
  Scratch() {
    std::string pattern = (fs::temp_directory_path() / "vellumo-fuzz.XXXXXX").string();
    if (!::mkdtemp(pattern.data())) Fail("cannot make a scratch folder");
    path = pattern;
  }
  ~Scratch() {
    std::error_code ignored;
    fs::remove_all(path, ignored);
  }
  fs::path path;
};

}  // namespace

const fs::path& ScratchFolder() {
  static Scratch scratch;
  return scratch.path;
}

void ResetFolder(const fs::path& folder) {
  std::error_code ignored;
  // A fuzzed archive may have left read-only files and folders behind.
  if (fs::exists(folder, ignored)) {
    for (const auto& e : fs::recursive_directory_iterator(folder, ignored)) {
      fs::permissions(e.path(), fs::perms::owner_all, fs::perm_options::add, ignored);
    }
  }
  fs::remove_all(folder, ignored);
  fs::create_directories(folder);
}

std::set<std::string> PathsBelow(const fs::path& folder) {
  std::set<std::string> out;
  std::error_code ignored;
  for (auto it = fs::recursive_directory_iterator(folder, ignored); it != fs::recursive_directory_iterator();
       it.increment(ignored)) {
    out.insert(fs::relative(it->path(), folder).generic_string());
  }
  return out;
}

void WriteBytes(const fs::path& path, const void* data, size_t size) {
  std::ofstream out(path, std::ios::binary | std::ios::trunc);
  out.write(static_cast<const char*>(data), static_cast<std::streamsize>(size));
  if (!out) Fail("cannot write " + path.string());
}

std::vector<uint8_t> ReadBytes(const fs::path& path) {
  std::vector<uint8_t> out(fs::file_size(path));
  FILE* f = std::fopen(path.c_str(), "rb");
  if (!f) Fail("cannot read back " + path.string());
  if (!out.empty() && std::fread(out.data(), 1, out.size(), f) != out.size()) Fail("short read");
  std::fclose(f);
  return out;
}

std::string Hex(std::string_view bytes) {
  static const char kDigits[] = "0123456789abcdef";
  std::string out;
  for (unsigned char c : bytes) {
    out += kDigits[c >> 4];
    out += kDigits[c & 15];
  }
  return out;
}

void Fail(const std::string& what) {
  std::fprintf(stderr, "FUZZ CHECK FAILED: %s\n", what.c_str());
  std::abort();
}

}  // namespace vellumo::fuzz
