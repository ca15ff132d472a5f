#pragma once
// The dialogs' texts apart from their words (which come from the string
// tables): values filled into a text, the share of the progress bar, rate and
// time left, and a long line shortened in its middle so that its start and
// its file name stay readable.
#include <cstdint>
#include <functional>
#include <vector>
#include <string>

#include "fileenc/reporter.h"

namespace vellumo {

// A string table text with its placeholders filled in order: each "%s" or
// "%d" takes the next value as it is (a value is never read as a pattern, so
// a path may hold "%"), "%%" is a percent sign. Missing values leave nothing.
std::wstring FillText(const std::wstring& pattern, const std::vector<std::wstring>& values);

// The bar's position out of kProgressRange: by bytes, or by files when the
// run has no bytes to count (empty files only).
constexpr int kProgressRange = 10000;
int ProgressPosition(const RunProgress& progress);

// Rate and time left from the bytes done so far over the time taken. Unknown
// until the run has gone on long enough to say anything sensible.
struct RunEstimate {
  bool known = false;
  double bytesPerSecond = 0;
  uint64_t secondsLeft = 0;
};
RunEstimate EstimateRun(const RunProgress& progress, double elapsedSeconds);

// "850 KB/s", "12.3 MB/s": the same in every language.
std::wstring RateText(double bytesPerSecond);
// "0:07", "12:34", "1:02:03".
std::wstring DurationText(uint64_t seconds);

// `text` as it is when it fits; else with its middle replaced by "…": the
// first `keep` characters stay, and as much of the last path component (the
// file name) as fits, so the line is never cut at its end.
std::wstring FitMiddle(const std::wstring& text, size_t keep, const std::function<bool(const std::wstring&)>& fits);

}  // namespace vellumo
