#pragma once
// How the engine speaks to whoever runs it: the file dialog (status line and
// message boxes), the command line (stderr and a progress line) and tests.
#include <cstdint>
#include <string>

namespace vellumo {

// Where a run stands. The totals are counted before the run starts; a packed
// run counts its sources' bytes twice (packed, then the archive encrypted), so
// the bar moves evenly through both steps. bytesDone never goes back and
// equals bytesTotal when the run has ended.
struct RunProgress {
  uint64_t filesDone = 0;
  uint64_t filesTotal = 0;
  uint64_t bytesDone = 0;
  uint64_t bytesTotal = 0;
};

class Reporter {
 public:
  virtual ~Reporter() = default;
  // The status line: "正在加密文件:" / "正在解密文件:" and the path.
  virtual void Status(const std::wstring& text) = 0;
  // A refusal or failure concerning one file, already formatted with its path.
  virtual void Refuse(const std::wstring& message) = 0;
  // Called at every file and after every buffer (about 1 MiB); a front that
  // draws should limit how often it does so itself.
  virtual void Progress(const RunProgress& progress) { (void)progress; }
};

}  // namespace vellumo
