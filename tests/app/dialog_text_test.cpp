// What the dialogs make of values: texts filled in, the progress bar, rate and
// time left, and long status lines shortened in the middle.
#include "app/dialogs/dialog_text.h"

#include <gtest/gtest.h>

#include <string>

namespace vellumo {
namespace {

TEST(DialogText, ValuesFillThePlaceholdersInOrderAndAreNeverPatterns) {
  struct Case {
    std::wstring pattern;
    std::vector<std::wstring> values;
    std::wstring text;
  } cases[] = {
      {L"文件:%s  打不开!", {L"C:\\a.txt"}, L"文件:C:\\a.txt  打不开!"},
      // A path with a placeholder of its own stays as it is.
      {L"文件:%s  打不开!", {L"C:\\100%s %d.txt"}, L"文件:C:\\100%s %d.txt  打不开!"},
      {L"完成 %d 个，跳过 %d 个", {L"3", L"1"}, L"完成 3 个，跳过 1 个"},
      {L"%s of %s files", {L"2", L"9"}, L"2 of 9 files"},
      {L"100%% done", {}, L"100% done"},
      {L"%x and %", {}, L"%x and %"},  // not a placeholder: kept
      {L"%s and %s", {L"one"}, L"one and "},  // too few values
      {L"%s", {L"a", L"b"}, L"a"},            // too many: the rest unused
  };
  for (const Case& c : cases) EXPECT_EQ(FillText(c.pattern, c.values), c.text);
}

TEST(DialogText, BarFollowsBytesAndFallsBackToFiles) {
  struct Case {
    RunProgress progress;
    int position;
  } cases[] = {
      {{0, 3, 0, 3000}, 0},
      {{1, 3, 1500, 3000}, kProgressRange / 2},
      {{3, 3, 3000, 3000}, kProgressRange},
      {{1, 4, 0, 0}, kProgressRange / 4},  // only empty files: counted by files
      {{0, 0, 0, 0}, 0},                    // nothing to do at all
      {{2, 2, 5000, 4000}, kProgressRange},  // never past the end
      // Totals past 2^32 bytes must not overflow on the way.
      {{0, 1, 3 * (uint64_t{1} << 40), 4 * (uint64_t{1} << 40)}, kProgressRange * 3 / 4},
  };
  for (const Case& c : cases) {
    EXPECT_EQ(ProgressPosition(c.progress), c.position) << c.progress.bytesDone << "/" << c.progress.bytesTotal;
  }
}

TEST(DialogText, EstimateWaitsForASecondOfWork) {
  const RunProgress half{5, 10, 50 << 20, 100 << 20};
  EXPECT_FALSE(EstimateRun(half, 0.5).known);
  EXPECT_FALSE(EstimateRun({0, 10, 0, 100 << 20}, 30).known);  // nothing through yet

  const RunEstimate estimate = EstimateRun(half, 10);
  ASSERT_TRUE(estimate.known);
  EXPECT_DOUBLE_EQ(estimate.bytesPerSecond, (50 << 20) / 10.0);
  EXPECT_EQ(estimate.secondsLeft, 10u);
  EXPECT_EQ(EstimateRun({10, 10, 100 << 20, 100 << 20}, 20).secondsLeft, 0u);
  // A part of a second left is shown as a second, not as none.
  EXPECT_EQ(EstimateRun({0, 1, 1000, 1001}, 1).secondsLeft, 1u);
}

TEST(DialogText, RatesAndDurationsRead) {
  const std::pair<double, const wchar_t*> rates[] = {
      {0, L"0 B/s"},          {999, L"999 B/s"},          {1000, L"1.0 KB/s"},
      {850 * 1024, L"850 KB/s"}, {12.34 * 1048576, L"12 MB/s"}, {9.5 * 1048576, L"9.5 MB/s"},
      {3.0 * 1073741824, L"3.0 GB/s"}, {-5, L"0 B/s"},
  };
  for (auto [rate, text] : rates) EXPECT_EQ(RateText(rate), text) << rate;

  const std::pair<uint64_t, const wchar_t*> durations[] = {
      {0, L"0:00"}, {7, L"0:07"}, {754, L"12:34"}, {3723, L"1:02:03"}, {100 * 3600, L"100:00:00"},
  };
  for (auto [seconds, text] : durations) EXPECT_EQ(DurationText(seconds), text) << seconds;
}

// A line fits when it has at most `width` characters.
auto Width(size_t width) {
  return [width](const std::wstring& line) { return line.size() <= width; };
}

TEST(DialogText, LongLinesLoseTheirMiddleNeverTheirEnd) {
  const std::wstring prefix = L"正在加密文件:";
  const std::wstring path = L"C:\\Users\\someone\\Documents\\projects\\2024\\quarterly\\report-final.docx";
  const std::wstring line = prefix + path;
  struct Case {
    size_t width;
    std::wstring shown;
  } cases[] = {
      {line.size(), line},                                                   // fits: unchanged
      {200, line},
      {prefix.size() + 30, prefix + L"C:\\Users\\so\u2026\\report-final.docx"},
      // No room for any folder: the file name whole after the start.
      {prefix.size() + 19, prefix + L"\u2026\\report-final.docx"},
      // Not even the file name: its end (the extension) stays.
      {prefix.size() + 8, prefix + L"\u2026al.docx"},
      // No room at all: what must stay, and the mark that something is missing.
      {3, prefix + L"\u2026"},
  };
  for (const Case& c : cases) {
    const std::wstring shown = FitMiddle(line, prefix.size(), Width(c.width));
    EXPECT_EQ(shown, c.shown) << c.width;
    if (shown != line && c.width > prefix.size()) {
      EXPECT_LE(shown.size(), c.width);
    }
  }
  // Without any separator the end is kept.
  EXPECT_EQ(FitMiddle(L"abcdefghij", 2, Width(6)), L"ab\u2026hij");
}

TEST(DialogText, ShorteningNeverSplitsACharacter) {
  // U+1F512 takes two UTF-16 units; no cut may fall between them.
  const std::wstring lock = L"\U0001F512";
  const std::wstring line = L"> C:\\" + lock + lock + lock + L"\\" + lock + L"x" + lock + L".txt";
  for (size_t width = 4; width < line.size(); ++width) {
    const std::wstring shown = FitMiddle(line, 2, Width(width));
    for (size_t i = 0; i < shown.size(); ++i) {
      const wchar_t c = shown[i];
      if (c >= 0xD800 && c <= 0xDBFF) {
        ASSERT_LT(i + 1, shown.size()) << width;
        EXPECT_TRUE(shown[i + 1] >= 0xDC00 && shown[i + 1] <= 0xDFFF) << width;
      } else if (c >= 0xDC00 && c <= 0xDFFF) {
        EXPECT_TRUE(i > 0 && shown[i - 1] >= 0xD800 && shown[i - 1] <= 0xDBFF) << width;
      }
    }
  }
}

}  // namespace
}  // namespace vellumo
