#include "cli/cli_reporter.h"

#include <cwchar>

#include "cli/console.h"
#include "cli/messages.h"

namespace vellumo::cli {
namespace {

// Short runs finish before a progress line would help; a run over this much
// data (counted before it starts) is long enough to show one at once.
constexpr auto kQuietStart = std::chrono::seconds(1);
constexpr uint64_t kLargeRun = 16 * 1024 * 1024;
constexpr auto kRedrawEvery = std::chrono::milliseconds(250);
constexpr auto kLogEvery = std::chrono::seconds(2);

std::wstring Bytes(double bytes) {
  const wchar_t* units[] = {L"B", L"KiB", L"MiB", L"GiB", L"TiB"};
  size_t unit = 0;
  while (bytes >= 1024.0 && unit + 1 < sizeof units / sizeof units[0]) {
    bytes /= 1024.0;
    ++unit;
  }
  wchar_t text[32];
  std::swprintf(text, 32, unit == 0 ? L"%.0f %ls" : L"%.1f %ls", bytes, units[unit]);
  return text;
}

// Columns a character takes on a terminal: CJK and other wide ones take two.
size_t Width(wchar_t c) { return static_cast<uint32_t>(c) >= 0x1100 ? 2 : 1; }

size_t Width(const std::wstring& text) {
  size_t width = 0;
  for (wchar_t c : text) width += Width(c);
  return width;
}

// The end of `text` that fits `columns`, led by "…" when cut.
std::wstring Tail(const std::wstring& text, size_t columns) {
  if (Width(text) <= columns) return text;
  size_t width = 1, start = text.size();
  while (start > 0 && width + Width(text[start - 1]) <= columns) width += Width(text[--start]);
  return L"…" + text.substr(start);
}

std::wstring Duration(double seconds) {
  const auto total = static_cast<long>(seconds + 0.5);
  wchar_t text[32];
  if (total >= 3600) {
    std::swprintf(text, 32, L"%ld:%02ld:%02ld", total / 3600, total / 60 % 60, total % 60);
  } else {
    std::swprintf(text, 32, L"%ld:%02ld", total / 60, total % 60);
  }
  return text;
}

}  // namespace

CliReporter::CliReporter(ProgressLine progress, bool verbose, RunKind kind)
    : progressLine_(progress), verbose_(verbose), kind_(kind), inPlace_(IsTerminal(Stream::kErr)) {}

void CliReporter::FileStarted(Direction direction, const std::wstring& path) {
  file_ = path;
  if (verbose_) {
    ClearLine();
    // An upgrade reads a legacy file and writes it sealed: neither word alone.
    const Msg doing = kind_ == RunKind::kUpgrade           ? Msg::kUpgrading
                      : direction == Direction::kEncrypt ? Msg::kEncrypting
                                                         : Msg::kDecrypting;
    WriteText(Stream::kErr, Say(doing, {path}) + L"\n");
  }
  Draw(false);
}

void CliReporter::Refuse(FileMessage message, const std::wstring& path) { RefuseWithReason(message, path, Status()); }

void CliReporter::RefuseWithReason(FileMessage message, const std::wstring& path, const Status& why) {
  ClearLine();
  WriteText(Stream::kErr, L"vellumo-cli: " + FileLine(message, path, why) + L"\n");
}

void CliReporter::Progress(const RunProgress& progress) {
  progress_ = progress;
  Draw(false);
}

void CliReporter::Finish() {
  if (inPlace_) {
    ClearLine();
  } else if (progressLine_ != ProgressLine::kNone) {
    file_.clear();
    Draw(true);
  }
}

std::wstring CliReporter::Line() const {
  const double elapsed = std::chrono::duration<double>(Clock::now() - start_).count();
  const double done = static_cast<double>(progress_.bytesDone);
  const double total = static_cast<double>(progress_.bytesTotal);
  const double share = total > 0 ? done / total
                       : progress_.filesTotal > 0
                           ? static_cast<double>(progress_.filesDone) / static_cast<double>(progress_.filesTotal)
                           : 1.0;
  wchar_t percent[16];
  std::swprintf(percent, 16, L"%3.0f%%", share * 100.0);
  std::wstring line = std::wstring(percent) + L"  " + Bytes(done) + L" / " + Bytes(total);
  if (elapsed > 0 && done > 0) {
    const double rate = done / elapsed;
    line += L"  " + Bytes(rate) + L"/s  " + Say(Msg::kEta, {Duration((total - done) / rate)});
  }
  if (file_.empty()) return line;
  // One line that never wraps on a terminal: the file name gives way, from its start.
  const size_t columns = inPlace_ ? TerminalColumns(Stream::kErr) : 0;
  const size_t used = Width(line) + 2;
  if (columns == 0) return line + L"  " + file_;
  if (columns > used + 8) line += L"  " + Tail(file_, columns - used - 1);
  return line;
}

void CliReporter::Draw(bool force) {
  if (progressLine_ == ProgressLine::kNone) return;
  const auto now = Clock::now();
  if (!force) {
    if (progressLine_ == ProgressLine::kAuto && now - start_ < kQuietStart && progress_.bytesTotal < kLargeRun) return;
    if (drawn_ && now - lastDraw_ < (inPlace_ ? kRedrawEvery : kLogEvery)) return;
  }
  lastDraw_ = now;
  drawn_ = true;
  std::wstring line = Line();
  if (!inPlace_) {
    WriteText(Stream::kErr, line + L"\n");
    return;
  }
  const size_t length = Width(line);
  if (length < lineLength_) line.append(lineLength_ - length, L' ');
  lineLength_ = length;
  WriteText(Stream::kErr, L"\r" + line);
}

void CliReporter::ClearLine() {
  if (lineLength_ == 0) return;
  WriteText(Stream::kErr, L"\r" + std::wstring(lineLength_, L' ') + L"\r");
  lineLength_ = 0;
}

}  // namespace vellumo::cli
