#pragma once
// Shared by the fuzz targets: a private scratch folder per process, and the
// files below a folder, to see what an input made the code write.
#include <cstdint>
#include <filesystem>
#include <set>
#include <string>
#include <string_view>
#include <vector>

namespace vellumo::fuzz {

// A folder of its own under the system's temporary folder, made on first use
// and removed when the process ends normally.
const std::filesystem::path& ScratchFolder();

// Empties `folder` (creating it when missing).
void ResetFolder(const std::filesystem::path& folder);

// Every path below `folder`, relative to it, with "/" separators.
std::set<std::string> PathsBelow(const std::filesystem::path& folder);

void WriteBytes(const std::filesystem::path& path, const void* data, size_t size);
// The whole file; a file that cannot be read back fails the run.
std::vector<uint8_t> ReadBytes(const std::filesystem::path& path);

std::string Hex(std::string_view bytes);

// Stops the run the way libFuzzer notices: a report on stderr, then abort.
[[noreturn]] void Fail(const std::string& what);

}  // namespace vellumo::fuzz
