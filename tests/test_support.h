#pragma once
// Shared helpers for the test programs: the reference vectors, hex, temporary
// folders and file contents.
#include <cstdint>
#include <filesystem>
#include <string>
#include <vector>

#include <nlohmann/json.hpp>

namespace vellumo::testing {

// tests/data/vectors/vectors.json, parsed once.
const nlohmann::json& Vectors();
std::filesystem::path VectorFile(const std::string& name);  // vectors/files/<name>
nlohmann::json VectorManifest();                             // vectors/files/manifest.json
// tests/data/sealed: known-answer files of the sealed format.
std::filesystem::path SealedVectorFile(const std::string& name);
nlohmann::json SealedVectorManifest();                       // sealed/manifest.json

std::vector<uint8_t> FromHex(const std::string& hex);
std::string ToHex(const uint8_t* data, size_t length);
inline std::string ToHex(const std::vector<uint8_t>& v) { return ToHex(v.data(), v.size()); }

std::wstring Widen(const std::string& utf8);   // UTF-8 -> wide
std::string Narrow(const std::wstring& wide);  // wide -> UTF-8

// The same bytes for the same seed on every platform (mt19937 is fully specified).
std::vector<uint8_t> RandomBytes(size_t length, unsigned seed);

std::vector<uint8_t> ReadFileBytes(const std::filesystem::path& path);
void WriteFileBytes(const std::filesystem::path& path, const std::vector<uint8_t>& bytes);

// A fresh folder under the system's temporary folder, removed with the object.
class TempDir {
 public:
  TempDir();
  ~TempDir();
  TempDir(const TempDir&) = delete;
  TempDir& operator=(const TempDir&) = delete;
  const std::filesystem::path& path() const { return path_; }
  std::filesystem::path operator/(const std::filesystem::path& p) const { return path_ / p; }

 private:
  std::filesystem::path path_;
};

}  // namespace vellumo::testing
