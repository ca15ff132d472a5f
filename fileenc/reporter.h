#pragma once
// How the engine speaks to whoever runs it: the file dialog (status line and
// message boxes), the command line (stderr and a progress line) and tests.
#include <cstdint>
#include <string>

namespace vellumo {

class Reporter {
 public:
  virtual ~Reporter() = default;
  // The status line: "正在加密文件:" / "正在解密文件:" and the path.
  virtual void Status(const std::wstring& text) = 0;
  // A refusal or failure concerning one file, already formatted with its path.
  virtual void Refuse(const std::wstring& message) = 0;
  // Body bytes of the file in hand transformed so far, out of its total.
  virtual void Progress(uint64_t done, uint64_t total) { (void)done; (void)total; }
};

}  // namespace vellumo
