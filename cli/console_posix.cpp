#include <fcntl.h>
#include <iconv.h>
#include <langinfo.h>
#include <pwd.h>
#include <signal.h>
#include <sys/ioctl.h>
#include <sys/stat.h>
#include <termios.h>
#include <unistd.h>

#include <cerrno>
#include <clocale>
#include <cstdlib>
#include <cstring>
#include <vector>

#include "cli/console.h"
#include "crypto/ansi_codepage.h"
#include "crypto/utf8.h"
#include "keystore/key_store.h"
#include "platform/file_system.h"

namespace vellumo::cli {
namespace {

int Fd(Stream stream) { return stream == Stream::kOut ? STDOUT_FILENO : STDERR_FILENO; }

bool WriteAll(int fd, const char* data, size_t length) {
  while (length > 0) {
    const ssize_t n = write(fd, data, length);
    if (n < 0 && errno == EINTR) continue;
    if (n <= 0) return false;
    data += n;
    length -= static_cast<size_t>(n);
  }
  return true;
}

// The locale's character set when it is not UTF-8; empty for UTF-8, which is
// also taken for the plain C locale (ASCII could not show most names at all).
std::string g_charset;

// Text through iconv in one direction; false on a sequence it cannot take
// (strict), or with `replace`, "?" for each such character.
bool Convert(const char* to, const char* from, const char* in, size_t inBytes, std::string& out, bool replace,
             size_t unit) {
  iconv_t cd = iconv_open(to, from);
  if (cd == reinterpret_cast<iconv_t>(-1)) return false;
  char buffer[256];
  bool ok = true;
  while (inBytes > 0) {
    char* src = const_cast<char*>(in);
    char* dst = buffer;
    size_t room = sizeof buffer;
    const size_t r = iconv(cd, &src, &inBytes, &dst, &room);
    out.append(buffer, static_cast<size_t>(dst - buffer));
    in = src;
    if (r == static_cast<size_t>(-1) && errno != E2BIG) {
      if (!replace || inBytes < unit) {
        ok = false;
        break;
      }
      out += '?';
      in += unit;
      inBytes -= unit;
      iconv(cd, nullptr, nullptr, nullptr, nullptr);
    }
  }
  iconv_close(cd);
  return ok;
}

std::string Encode(const std::wstring& text) {
  if (g_charset.empty()) return ToUtf8(text);
  std::string out;
  Convert(g_charset.c_str(), "WCHAR_T", reinterpret_cast<const char*>(text.data()),
          text.size() * sizeof(wchar_t), out, true, sizeof(wchar_t));
  return out;
}

// Reads one line byte by byte (no read-ahead), without its CR/LF.
std::optional<std::string> ReadLineFrom(int fd) {
  std::string line;
  bool any = false;
  for (;;) {
    char c;
    const ssize_t n = read(fd, &c, 1);
    if (n < 0 && errno == EINTR) continue;
    if (n < 0) return std::nullopt;
    if (n == 0) break;
    any = true;
    if (c == '\n') break;
    line += c;
  }
  if (!any) return std::nullopt;
  if (!line.empty() && line.back() == '\r') line.pop_back();
  return line;
}

// The terminal's settings while echo is off, restored if the prompt is
// interrupted, so that an interrupted prompt does not leave a silent terminal.
int g_ttyFd = -1;
termios g_savedTty;

void RestoreTtyAndRaise(int sig) {
  tcsetattr(g_ttyFd, TCSAFLUSH, &g_savedTty);
  signal(sig, SIG_DFL);
  raise(sig);
}

// Ctrl-C during a run.
CancelFlag* g_cancel = nullptr;
volatile sig_atomic_t g_interrupt = 0;

void OnInterrupt(int sig) {
  if (g_interrupt != 0) {  // the second: stop now
    signal(sig, SIG_DFL);
    raise(sig);
    return;
  }
  g_interrupt = sig;
  g_cancel->store(true);
}

bool StartsWithChinese(const char* value) {
  return value && (value[0] == 'z' || value[0] == 'Z') && (value[1] == 'h' || value[1] == 'H');
}

}  // namespace

void InitStreams() {
  // Only the character set is taken from the locale; everything else stays "C".
  if (std::setlocale(LC_CTYPE, "")) {
    const std::string codeset = nl_langinfo(CODESET);
    std::string lower;
    for (char c : codeset) lower += static_cast<char>(c >= 'A' && c <= 'Z' ? c - 'A' + 'a' : c);
    if (lower != "utf-8" && lower != "utf8" && lower != "ansi_x3.4-1968" && !lower.empty()) g_charset = codeset;
    std::setlocale(LC_CTYPE, "C");
  }
}

bool IsTerminal(Stream stream) { return isatty(Fd(stream)) == 1; }

size_t TerminalColumns(Stream stream) {
  winsize size{};
  if (ioctl(Fd(stream), TIOCGWINSZ, &size) != 0) return 0;
  return size.ws_col;
}

bool WriteText(Stream stream, const std::wstring& text) {
  const std::string bytes = Encode(text);
  return WriteAll(Fd(stream), bytes.data(), bytes.size());
}

bool WriteBytes(Stream stream, const std::string& bytes) { return WriteAll(Fd(stream), bytes.data(), bytes.size()); }

bool DecodeTerminalText(const std::string& bytes, std::wstring& text) {
  if (g_charset.empty()) return FromUtf8(bytes, text);
  std::string wide;
  if (!Convert("WCHAR_T", g_charset.c_str(), bytes.data(), bytes.size(), wide, false, 1)) return false;
  text.assign(reinterpret_cast<const wchar_t*>(wide.data()), wide.size() / sizeof(wchar_t));
  return true;
}

std::optional<std::wstring> ReadInputLine(unsigned codePage) {
  const auto line = ReadLineFrom(STDIN_FILENO);
  if (!line) return std::nullopt;
  std::wstring text;
  if (!DecodeTerminalText(*line, text)) text = FromAnsi(*line, codePage);
  return text;
}

std::optional<std::string> ReadAllInput() {
  std::string data;
  std::vector<char> buffer(1 << 16);
  for (;;) {
    const ssize_t n = read(STDIN_FILENO, buffer.data(), buffer.size());
    if (n < 0 && errno == EINTR) continue;
    if (n < 0) return std::nullopt;
    if (n == 0) return data;
    data.append(buffer.data(), static_cast<size_t>(n));
  }
}

std::optional<std::string> ReadSmallFile(const std::wstring& path, Status& why) {
  const int fd = open(ToUtf8(path).c_str(), O_RDONLY | O_CLOEXEC);
  if (fd < 0) {
    why = Status::LastOsError();
    return std::nullopt;
  }
  struct stat st;
  if (fstat(fd, &st) != 0 || !S_ISREG(st.st_mode)) {
    why = Status(StatusCode::kNotAFile, 0);
    close(fd);
    return std::nullopt;
  }
  std::string data;
  char buffer[4096];
  for (;;) {
    const ssize_t n = read(fd, buffer, sizeof buffer);
    if (n < 0 && errno == EINTR) continue;
    if (n < 0) why = Status::LastOsError();
    if (n <= 0) break;
    data.append(buffer, static_cast<size_t>(n));
  }
  close(fd);
  if (!why) return std::nullopt;
  return data;
}

std::optional<std::wstring> PromptHidden(const std::wstring& prompt) {
  const int fd = open("/dev/tty", O_RDWR | O_CLOEXEC);
  if (fd < 0) return std::nullopt;

  // Echo goes off (and what was typed ahead is dropped) before the prompt
  // shows, so that nothing typed after it is ever echoed or lost.
  termios saved;
  const bool haveTty = tcgetattr(fd, &saved) == 0;
  struct sigaction restore = {}, oldInt = {}, oldTerm = {};
  if (haveTty) {
    g_ttyFd = fd;
    g_savedTty = saved;
    restore.sa_handler = RestoreTtyAndRaise;
    sigaction(SIGINT, &restore, &oldInt);
    sigaction(SIGTERM, &restore, &oldTerm);
    termios quiet = saved;
    quiet.c_lflag &= ~static_cast<tcflag_t>(ECHO);
    quiet.c_lflag |= ECHONL;
    tcsetattr(fd, TCSAFLUSH, &quiet);
  }
  const std::string promptBytes = Encode(prompt);
  WriteAll(fd, promptBytes.data(), promptBytes.size());
  const auto line = ReadLineFrom(fd);
  if (haveTty) {
    tcsetattr(fd, TCSAFLUSH, &saved);
    sigaction(SIGINT, &oldInt, nullptr);
    sigaction(SIGTERM, &oldTerm, nullptr);
    g_ttyFd = -1;
  }
  close(fd);
  if (!line) return std::nullopt;
  std::wstring text;
  if (!DecodeTerminalText(*line, text)) FromUtf8(*line, text);
  return text;
}

Language UserLanguage() {
  for (const char* name : {"LC_ALL", "LC_MESSAGES", "LANG"}) {
    const char* value = std::getenv(name);
    if (value && value[0]) return StartsWithChinese(value) ? Language::kChinese : Language::kEnglish;
  }
  return Language::kEnglish;
}

unsigned CodePageNumber(unsigned codePage) {
  return codePage == kSystemAnsiCodePage || codePage == kThreadAnsiCodePage ? kPosixDefaultCodePage : codePage;
}

void StopOnInterrupt(CancelFlag* flag) {
  g_cancel = flag;
  struct sigaction action = {};
  action.sa_handler = OnInterrupt;
  sigemptyset(&action.sa_mask);
  sigaction(SIGINT, &action, nullptr);
  sigaction(SIGTERM, &action, nullptr);
}

int InterruptedExitStatus() { return 128 + (g_interrupt != 0 ? static_cast<int>(g_interrupt) : SIGINT); }

std::wstring FullPath(const std::wstring& path) {
  std::wstring absolute = path;
  if (path.empty() || path[0] != L'/') {
    std::vector<char> cwd(4096);
    while (!getcwd(cwd.data(), cwd.size())) {
      if (errno != ERANGE) return path;
      cwd.resize(cwd.size() * 2);
    }
    std::wstring base;
    FromUtf8(cwd.data(), base);
    absolute = base + L"/" + path;
  }
  std::vector<std::wstring> parts;
  size_t start = 0;
  while (start <= absolute.size()) {
    size_t end = absolute.find(L'/', start);
    if (end == std::wstring::npos) end = absolute.size();
    const std::wstring part = absolute.substr(start, end - start);
    if (part == L"..") {
      if (!parts.empty()) parts.pop_back();
    } else if (!part.empty() && part != L".") {
      parts.push_back(part);
    }
    start = end + 1;
  }
  std::wstring result;
  for (const auto& part : parts) result += L"/" + part;
  return result.empty() ? L"/" : result;
}

std::wstring DefaultDatabasePath() {
  std::string folder;
  const char* xdg = std::getenv("XDG_CONFIG_HOME");
  if (xdg && xdg[0] == '/') {
    folder = xdg;
  } else {
    const char* home = std::getenv("HOME");
    if (!home || !home[0]) {
      const passwd* pw = getpwuid(getuid());
      home = pw ? pw->pw_dir : "";
    }
    folder = std::string(home) + "/.config";
  }
  std::wstring text;
  FromUtf8(folder + "/vellumo/", text);
  return text + kKeyDatabaseFileName;
}

bool MakeDatabaseFolder(const std::wstring& databasePath) {
  const std::string folder = ToUtf8(ParentFolder(databasePath));
  for (size_t pos = 1; pos <= folder.size(); ++pos) {
    if (pos < folder.size() && folder[pos] != '/') continue;
    const std::string part = folder.substr(0, pos);
    struct stat st;
    if (stat(part.c_str(), &st) == 0) {
      if (!S_ISDIR(st.st_mode)) return false;
    } else if (mkdir(part.c_str(), 0700) != 0 && errno != EEXIST) {
      return false;
    }
  }
  return true;
}

}  // namespace vellumo::cli
