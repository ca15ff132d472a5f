#include "app/dialogs/dialog_text.h"

#include <algorithm>
#include <cmath>
#include <cwchar>

namespace vellumo {
namespace {

bool IsSeparator(wchar_t c) { return c == L'\\' || c == L'/'; }
bool IsHighSurrogate(wchar_t c) { return c >= 0xD800 && c <= 0xDBFF; }
bool IsLowSurrogate(wchar_t c) { return c >= 0xDC00 && c <= 0xDFFF; }

// The largest n in [low, high] with ok(n), or low - 1 when there is none; ok
// must hold for every n below one where it holds.
template <typename Ok>
size_t LargestThat(size_t low, size_t high, Ok ok) {
  if (!ok(low)) return low - 1;
  while (low < high) {
    const size_t mid = low + (high - low + 1) / 2;
    if (ok(mid)) {
      low = mid;
    } else {
      high = mid - 1;
    }
  }
  return low;
}

}  // namespace

std::wstring FillText(const std::wstring& pattern, const std::vector<std::wstring>& values) {
  std::wstring text;
  auto next = values.begin();
  for (size_t i = 0; i < pattern.size(); ++i) {
    const wchar_t c = pattern[i];
    const wchar_t kind = i + 1 < pattern.size() ? pattern[i + 1] : L'\0';
    if (c == L'%' && (kind == L's' || kind == L'd')) {
      if (next != values.end()) text += *next++;
      ++i;
    } else if (c == L'%' && kind == L'%') {
      text += L'%';
      ++i;
    } else {
      text += c;
    }
  }
  return text;
}

int ProgressPosition(const RunProgress& progress) {
  uint64_t done = progress.bytesDone, total = progress.bytesTotal;
  if (total == 0) {
    done = progress.filesDone;
    total = progress.filesTotal;
  }
  if (total == 0) return 0;
  const double share = std::min(1.0, static_cast<double>(done) / static_cast<double>(total));
  return static_cast<int>(share * kProgressRange);
}

RunEstimate EstimateRun(const RunProgress& progress, double elapsedSeconds) {
  RunEstimate estimate;
  // A second in, the first buffers have shown what the disk does.
  if (elapsedSeconds < 1.0 || progress.bytesDone == 0) return estimate;
  estimate.known = true;
  estimate.bytesPerSecond = static_cast<double>(progress.bytesDone) / elapsedSeconds;
  const uint64_t left = progress.bytesTotal > progress.bytesDone ? progress.bytesTotal - progress.bytesDone : 0;
  estimate.secondsLeft = static_cast<uint64_t>(std::ceil(static_cast<double>(left) / estimate.bytesPerSecond));
  return estimate;
}

std::wstring RateText(double bytesPerSecond) {
  static const wchar_t* const kUnits[] = {L"B/s", L"KB/s", L"MB/s", L"GB/s", L"TB/s"};
  size_t unit = 0;
  double value = std::max(0.0, bytesPerSecond);
  while (value >= 1000 && unit + 1 < std::size(kUnits)) {
    value /= 1024;
    ++unit;
  }
  wchar_t text[32];
  if (unit > 0 && value < 9.95) {
    std::swprintf(text, 32, L"%.1f %ls", value, kUnits[unit]);
  } else {
    std::swprintf(text, 32, L"%.0f %ls", value, kUnits[unit]);
  }
  return text;
}

std::wstring DurationText(uint64_t seconds) {
  const uint64_t hours = seconds / 3600, minutes = seconds / 60 % 60, rest = seconds % 60;
  wchar_t text[40];
  if (hours > 0) {
    std::swprintf(text, 40, L"%llu:%02llu:%02llu", static_cast<unsigned long long>(hours),
                  static_cast<unsigned long long>(minutes), static_cast<unsigned long long>(rest));
  } else {
    std::swprintf(text, 40, L"%llu:%02llu", static_cast<unsigned long long>(minutes),
                  static_cast<unsigned long long>(rest));
  }
  return text;
}

std::wstring FitMiddle(const std::wstring& text, size_t keep, const std::function<bool(const std::wstring&)>& fits) {
  if (fits(text) || keep >= text.size()) return text;
  const std::wstring ellipsis = L"\u2026";
  // The tail starts at the separator before the file name, so "…\name.txt"
  // still reads as a path; a line without one keeps its end only.
  size_t tail = text.size();
  for (size_t i = text.size(); i > keep; --i) {
    if (IsSeparator(text[i - 1])) {
      tail = i - 1;
      break;
    }
  }
  auto headed = [&](size_t head) {
    if (head > keep && IsHighSurrogate(text[head - 1])) --head;  // never half a character
    return text.substr(0, head) + ellipsis + text.substr(tail);
  };
  if (tail < text.size()) {
    const size_t head = LargestThat(keep + 1, tail, [&](size_t n) { return fits(headed(n)); });
    if (head >= keep + 1) return headed(head);
  }
  // Even the file name is too long: keep its end, which holds the extension.
  auto tailed = [&](size_t length) {
    size_t from = text.size() - length;
    if (from < text.size() && IsLowSurrogate(text[from])) ++from;
    return text.substr(0, keep) + ellipsis + text.substr(from);
  };
  const size_t length = LargestThat(1, text.size() - keep, [&](size_t n) { return fits(tailed(n)); });
  return length >= 1 ? tailed(length) : text.substr(0, keep) + ellipsis;
}

}  // namespace vellumo
