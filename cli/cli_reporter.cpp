#include "cli/cli_reporter.h"

#include <cwchar>

#include "cli/console.h"

namespace vellumo::cli {
namespace {

// Short runs finish before a progress line would help.
constexpr auto kQuietStart = std::chrono::seconds(1);
constexpr auto kRedrawEvery = std::chrono::milliseconds(250);

std::wstring Megabytes(double bytes) {
  wchar_t text[32];
  std::swprintf(text, 32, L"%.1f MB", bytes / (1024.0 * 1024.0));
  return text;
}

}  // namespace

CliReporter::CliReporter(bool showProgress) : showProgress_(showProgress) {}

void CliReporter::FileStarted(Direction, const std::wstring&) { Draw(); }

void CliReporter::Refuse(FileMessage message, const std::wstring& path) {
  ClearLine();
  WriteText(Stream::kErr, RefusalText(message, path) + L"\n");
}

void CliReporter::Progress(const RunProgress& progress) {
  progress_ = progress;
  Draw();
}

void CliReporter::Finish() { ClearLine(); }

void CliReporter::Draw() {
  if (!showProgress_) return;
  const auto now = Clock::now();
  if (now - start_ < kQuietStart || (lineLength_ > 0 && now - lastDraw_ < kRedrawEvery)) return;
  lastDraw_ = now;
  const double bytes = static_cast<double>(progress_.bytesDone);
  const double seconds = std::chrono::duration<double>(now - start_).count();
  std::wstring line = std::to_wstring(progress_.filesDone) + L"/" + std::to_wstring(progress_.filesTotal) +
                      L" files  " + Megabytes(bytes) + L" of " + Megabytes(static_cast<double>(progress_.bytesTotal)) +
                      L"  " + Megabytes(bytes / seconds) + L"/s";
  const size_t length = line.size();
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
