#include "test_support.h"

#include <fstream>
#include <random>
#include <stdexcept>

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
  for (size_t i = 0; i < utf8.size();) {
    unsigned char c = utf8[i];
    uint32_t cp;
    int extra;
    if (c < 0x80) { cp = c; extra = 0; }
    else if ((c >> 5) == 6) { cp = c & 0x1F; extra = 1; }
    else if ((c >> 4) == 14) { cp = c & 0x0F; extra = 2; }
    else { cp = c & 0x07; extra = 3; }
    for (int k = 1; k <= extra && i + k < utf8.size(); ++k) cp = (cp << 6) | (utf8[i + k] & 0x3F);
    i += 1 + extra;
    if (sizeof(wchar_t) == 2 && cp >= 0x10000) {
      cp -= 0x10000;
      out += static_cast<wchar_t>(0xD800 + (cp >> 10));
      out += static_cast<wchar_t>(0xDC00 + (cp & 0x3FF));
    } else {
      out += static_cast<wchar_t>(cp);
    }
  }
  return out;
}

std::string Narrow(const std::wstring& wide) {
  std::string out;
  for (size_t i = 0; i < wide.size(); ++i) {
    uint32_t cp = static_cast<uint32_t>(wide[i]);
    if (sizeof(wchar_t) == 2 && cp >= 0xD800 && cp < 0xDC00 && i + 1 < wide.size()) {
      cp = 0x10000 + ((cp - 0xD800) << 10) + (static_cast<uint32_t>(wide[++i]) - 0xDC00);
    }
    if (cp < 0x80) out += static_cast<char>(cp);
    else if (cp < 0x800) { out += static_cast<char>(0xC0 | (cp >> 6)); out += static_cast<char>(0x80 | (cp & 0x3F)); }
    else if (cp < 0x10000) {
      out += static_cast<char>(0xE0 | (cp >> 12));
      out += static_cast<char>(0x80 | ((cp >> 6) & 0x3F));
      out += static_cast<char>(0x80 | (cp & 0x3F));
    } else {
      out += static_cast<char>(0xF0 | (cp >> 18));
      out += static_cast<char>(0x80 | ((cp >> 12) & 0x3F));
      out += static_cast<char>(0x80 | ((cp >> 6) & 0x3F));
      out += static_cast<char>(0x80 | (cp & 0x3F));
    }
  }
  return out;
}

std::vector<uint8_t> ReadFileBytes(const fs::path& path) {
  std::ifstream in(path, std::ios::binary);
  if (!in) throw std::runtime_error("cannot open " + path.string());
  return std::vector<uint8_t>(std::istreambuf_iterator<char>(in), {});
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
