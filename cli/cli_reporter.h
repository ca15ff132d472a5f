#pragma once
// The engine's reporter on a terminal: refusals on stderr, one line each in
// the user's language with their cause; with --verbose a line per file; and a
// progress line over the whole run (percent, bytes, rate, time left, the file
// in hand), redrawn in place on a terminal.
#include <chrono>
#include <cstdint>
#include <string>

#include "cli/messages.h"
#include "fileenc/reporter.h"

namespace vellumo::cli {

class CliReporter : public Reporter {
 public:
  // kAuto (a terminal, not --quiet): the line appears once a run has taken
  // a second, or at once for a run over much data, so short runs do not
  // flicker. kAsked (--progress): from the start. On a terminal the line is redrawn in place; elsewhere it is a line
  // now and then, and a last one at the end.
  enum class ProgressLine { kNone, kAuto, kAsked };
  // kind: what the --verbose line of a file says it does.
  CliReporter(ProgressLine progress, bool verbose, RunKind kind);

  void FileStarted(Direction direction, const std::wstring& path) override;
  void Refuse(FileMessage message, const std::wstring& path) override;
  void RefuseWithReason(FileMessage message, const std::wstring& path, const Status& why) override;
  void Progress(const RunProgress& progress) override;
  // The run is over: a terminal's progress line is taken away before the
  // summary; elsewhere the final state is written.
  void Finish();

 private:
  using Clock = std::chrono::steady_clock;
  void Draw(bool force);
  std::wstring Line() const;
  void ClearLine();

  const ProgressLine progressLine_;
  const bool verbose_;
  const RunKind kind_;
  const bool inPlace_;  // stderr is a terminal
  const Clock::time_point start_ = Clock::now();
  Clock::time_point lastDraw_ = start_;
  bool drawn_ = false;
  RunProgress progress_;
  std::wstring file_;      // the file in hand
  size_t lineLength_ = 0;  // characters of the progress line on screen
};

}  // namespace vellumo::cli
