#pragma once
// Conversions between the program's wide strings and bytes of an ANSI code page.
// Stored data depends on them: key blocks, key database text and ZIP entry names.
// Windows converts through the thread's (or the system's) ANSI code page; POSIX
// through iconv with an explicit code page, 936 (GBK) unless told otherwise, so a
// key typed on Linux gives the same key block as on our users' systems.
#include <string>
#include <string_view>

namespace vellumo {

// The same values as Windows' CP_ACP and CP_THREAD_ACP. On POSIX both mean
// kPosixDefaultCodePage.
constexpr unsigned kSystemAnsiCodePage = 0;
constexpr unsigned kThreadAnsiCodePage = 3;
constexpr unsigned kPosixDefaultCodePage = 936;

// Characters the code page lacks become its default character ("?").
std::string ToAnsi(std::wstring_view text, unsigned codePage = kThreadAnsiCodePage);
// Converts up to the first zero byte (or the end of `bytes`); never reads past it.
std::wstring FromAnsi(std::string_view bytes, unsigned codePage = kThreadAnsiCodePage);
// True when conversions through `codePage` are possible here (Windows knows
// it; iconv has it), so a mistyped number is refused rather than turning
// every character into "?".
bool IsKnownCodePage(unsigned codePage);
// True when the code page holds every character of `text` as it is (no
// default character, no best-fit look-alike), so ToAnsi loses nothing.
bool CanEncodeAnsi(std::wstring_view text, unsigned codePage = kThreadAnsiCodePage);

}  // namespace vellumo
