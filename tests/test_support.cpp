#include "test_support.h"

#include <fstream>
#include <random>
#include <stdexcept>

#include "crypto/utf8.h"

namespace vellumo::testing {
namespace fs = std::filesystem;

namespace {
nlohmann::json LoadJson(const fs::path& path) {
  std::ifstream in(path, std::ios::binary);
  if (!in) throw std::runtime_error("cannot open " + path.string());
  return nlohmann::json::parse(in);
}
}  // namespace

const nlohmann::json& Vectors() {
  static const nlohmann::json vectors = LoadJson(fs::path(VELLUMO_VECTORS_DIR) / "vectors.json");
  return vectors;
}

fs::path VectorFile(const std::string& name) { return fs::path(VELLUMO_VECTORS_DIR) / "files" / name; }

nlohmann::json VectorManifest() { return LoadJson(VectorFile("manifest.json")); }

fs::path SealedVectorFile(const std::string& name) { return fs::path(VELLUMO_VECTORS_DIR) / ".." / "sealed" / name; }

nlohmann::json SealedVectorManifest() { return LoadJson(SealedVectorFile("manifest.json")); }

std::vector<uint8_t> FromHex(const std::string& hex) {
  if (hex.size() % 2) throw std::invalid_argument("odd hex length");
  std::vector<uint8_t> out(hex.size() / 2);
  for (size_t i = 0; i < out.size(); ++i) out[i] = static_cast<uint8_t>(std::stoul(hex.substr(2 * i, 2), nullptr, 16));
  return out;
}

std::string ToHex(const uint8_t* data, size_t length) {
  static const char digits[] = "0123456789abcdef";
  std::string out;
  out.reserve(length * 2);
  for (size_t i = 0; i < length; ++i) {
    out += digits[data[i] >> 4];
    out += digits[data[i] & 15];
  }
  return out;
}

std::wstring Widen(const std::string& utf8) {
  std::wstring out;
  FromUtf8(utf8, out);
  return out;
}

std::string Narrow(const std::wstring& wide) { return ToUtf8(wide); }

std::vector<uint8_t> RandomBytes(size_t length, unsigned seed) {
  std::mt19937 gen(seed);
  std::vector<uint8_t> out(length);
  for (auto& b : out) b = static_cast<uint8_t>(gen());
  return out;
}

std::vector<uint8_t> ReadFileBytes(const fs::path& path) {
  std::ifstream in(path, std::ios::binary);
  if (!in) throw std::runtime_error("cannot open " + path.string());
  // In blocks: byte by byte, the files of many megabytes some tests read take
  // seconds in a debug build.
  std::vector<uint8_t> bytes;
  char block[1 << 16];
  while (in.read(block, sizeof block) || in.gcount() > 0) bytes.insert(bytes.end(), block, block + in.gcount());
  return bytes;
}

void WriteFileBytes(const fs::path& path, const std::vector<uint8_t>& bytes) {
  std::ofstream out(path, std::ios::binary | std::ios::trunc);
  out.write(reinterpret_cast<const char*>(bytes.data()), static_cast<std::streamsize>(bytes.size()));
  if (!out) throw std::runtime_error("cannot write " + path.string());
}

TempDir::TempDir() {
  std::random_device rd;
  for (;;) {
    path_ = fs::temp_directory_path() / ("vellumo-test-" + std::to_string(rd()));
    if (fs::create_directory(path_)) break;
  }
}

TempDir::~TempDir() {
  std::error_code ec;
  // Read-only files would stop remove_all on Windows.
  for (auto it = fs::recursive_directory_iterator(path_, ec); !ec && it != fs::recursive_directory_iterator(); it.increment(ec)) {
    fs::permissions(it->path(), fs::perms::owner_write, fs::perm_options::add, ec);
  }
  fs::remove_all(path_, ec);
}

}  // namespace vellumo::testing
