#pragma once
// The engine's reporter on a terminal: refusals on stderr, one line each, and
// for runs that take a while a progress line (files, bytes, rate) that is
// redrawn in place.
#include <chrono>
#include <cstdint>
#include <string>

#include "fileenc/reporter.h"

namespace vellumo::cli {

class CliReporter : public Reporter {
 public:
  explicit CliReporter(bool showProgress);

  void FileStarted(Direction direction, const std::wstring& path) override;
  void Refuse(FileMessage message, const std::wstring& path) override;
  void Progress(const RunProgress& progress) override;
  // Takes the progress line away before the final count is written.
  void Finish();

 private:
  using Clock = std::chrono::steady_clock;
  void Draw();
  void ClearLine();

  const bool showProgress_;
  const Clock::time_point start_ = Clock::now();
  Clock::time_point lastDraw_ = start_;
  RunProgress progress_;
  size_t lineLength_ = 0;       // characters of the progress line on screen
};

}  // namespace vellumo::cli
