// Windows hands the command line over as UTF-16 (wmain); POSIX as bytes, which
// are taken as UTF-8.
#include <string>
#include <vector>

#include "cli/cli.h"
#include "cli/console.h"
#include "crypto/utf8.h"

#ifdef _WIN32
int wmain(int argc, wchar_t** argv) {
  std::vector<std::wstring> args(argv + 1, argv + argc);
  vellumo::cli::InitStreams();
  return vellumo::cli::Run(args);
}
#else
int main(int argc, char** argv) {
  std::vector<std::wstring> args;
  for (int i = 1; i < argc; ++i) {
    std::wstring arg;
    vellumo::FromUtf8(argv[i], arg);
    args.push_back(arg);
  }
  vellumo::cli::InitStreams();
  return vellumo::cli::Run(args);
}
#endif
