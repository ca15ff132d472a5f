#pragma once
// Paths between std::filesystem and the wide strings of the code under test.
#include <filesystem>
#include <string>

#include "test_support.h"

namespace vellumo::testing {

inline std::filesystem::path P(const std::wstring& wide) {
#ifdef _WIN32
  return std::filesystem::path(wide);
#else
  return std::filesystem::path(Narrow(wide));
#endif
}

inline std::wstring W(const std::filesystem::path& path) {
#ifdef _WIN32
  return path.wstring();
#else
  return Widen(path.string());
#endif
}

}  // namespace vellumo::testing
