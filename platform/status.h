#pragma once
// The outcome of one call into the file seam: ok, or a small code saying why
// not together with the operating system's own error number, so that a
// failure reported far from the call (a run's summary, the command line's
// messages) can still tell a full disk from a locked file.
#include <string>

namespace vellumo {

enum class StatusCode {
  kOk,
  kNotFound,   // no such file or folder
  kNoAccess,   // permissions or a read-only target
  kInUse,      // held by another program (locks, sharing)
  kNoSpace,    // the device is full, or the file would grow past its limit
  kNotAFile,   // a folder or a link where a plain file was expected
  kAlreadyExists,  // the name is taken (a move that must not replace)
  kIoError,    // anything else the system reported
  kCancelled,  // the user stopped the run; nothing failed
};

class Status {
 public:
  Status() = default;  // ok
  Status(StatusCode code, int osError) : code_(code), osError_(osError) {}

  // The calling thread's last error (errno, or GetLastError on Windows), classified.
  static Status LastOsError();
  // A given OS error number, classified.
  static Status FromOsError(int osError);

  bool ok() const { return code_ == StatusCode::kOk; }
  explicit operator bool() const { return ok(); }
  StatusCode code() const { return code_; }
  int osError() const { return osError_; }  // 0 when the failure was not the system's

  // A short English text for the command line: "disk full (os error 28)".
  std::wstring ToString() const;

 private:
  StatusCode code_ = StatusCode::kOk;
  int osError_ = 0;
};

}  // namespace vellumo
