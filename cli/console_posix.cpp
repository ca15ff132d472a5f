#include <fcntl.h>
#include <pwd.h>
#include <signal.h>
#include <termios.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>
#include <vector>

#include "cli/console.h"
#include "crypto/utf8.h"
#include "crypto/ansi_codepage.h"
#include "keystore/key_store.h"

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

std::wstring DecodeLine(const std::string& bytes, unsigned codePage) {
  std::wstring text;
  if (!FromUtf8(bytes, text)) text = FromAnsi(bytes, codePage);
  return text;
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

}  // namespace

void InitStreams() {}

bool IsTerminal(Stream stream) { return isatty(Fd(stream)) == 1; }

void WriteText(Stream stream, const std::wstring& text) {
  const std::string bytes = ToUtf8(text);
  WriteAll(Fd(stream), bytes.data(), bytes.size());
}

bool WriteBytes(Stream stream, const std::string& bytes) { return WriteAll(Fd(stream), bytes.data(), bytes.size()); }

std::optional<std::wstring> ReadInputLine(unsigned codePage) {
  const auto line = ReadLineFrom(STDIN_FILENO);
  if (!line) return std::nullopt;
  return DecodeLine(*line, codePage);
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

std::optional<std::wstring> PromptHidden(const std::wstring& prompt) {
  const int fd = open("/dev/tty", O_RDWR | O_CLOEXEC);
  if (fd < 0) return std::nullopt;
  const std::string promptBytes = ToUtf8(prompt);
  WriteAll(fd, promptBytes.data(), promptBytes.size());

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
  FromUtf8(*line, text);
  return text;
}

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

}  // namespace vellumo::cli
