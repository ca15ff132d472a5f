#pragma once
// How the engine speaks to whoever runs it: the file dialog (status line,
// message boxes, progress bar), the command line (stderr and a progress line)
// and tests. It names what happened (FileMessage); each front words it.
#include <cstdint>
#include <string>

#include "crypto/cipher_algorithm.h"
#include "fileenc/file_messages.h"
#include "platform/status.h"

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
  // A file is begun (the designed status line: StatusLine).
  virtual void FileStarted(Direction direction, const std::wstring& path) = 0;
  // A file is refused or failed (the designed message box: RefusalText).
  virtual void Refuse(FileMessage message, const std::wstring& path) = 0;
  // The engine's call: Refuse, with the system's reason when it gave one
  // (why.ok() otherwise), for a front that names the cause.
  virtual void RefuseWithReason(FileMessage message, const std::wstring& path, const Status& why) {
    (void)why;
    Refuse(message, path);
  }
  // Called at every file and after every buffer (about 1 MiB); a front that
  // draws should limit how often it does so itself.
  virtual void Progress(const RunProgress& progress) { (void)progress; }
};

}  // namespace vellumo
