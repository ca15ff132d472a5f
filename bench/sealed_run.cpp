// The sealed format for bench/file_throughput.py, through the engine as the
// fronts run it (RunSelection, default key derivation cost), until the
// command line offers it:
//
//   sealed_run encrypt|decrypt KEY PATH...   exit status 0 when every file was done
//   sealed_run kdf KEY                       one key derivation alone: prints its
//                                            seconds, memory (KiB) and passes
#include <chrono>
#include <cstdio>
#include <cstring>
#include <string>
#include <vector>

#include "crypto/utf8.h"
#include "fileenc/file_engine.h"
#include "sealed/sealed_keys.h"

namespace {

using namespace vellumo;

class Silent : public Reporter {
 public:
  void FileStarted(Direction, const std::wstring&) override {}
  void Refuse(FileMessage message, const std::wstring& path) override {
    std::fprintf(stderr, "%s\n", ToUtf8(RefusalText(message, path)).c_str());
  }
};

std::wstring Wide(const char* utf8) {
  std::wstring text;
  FromUtf8(utf8, text);
  return text;
}

}  // namespace

int main(int argc, char** argv) {
  if (argc >= 3 && std::strcmp(argv[1], "kdf") == 0) {
    SealedKeyring keyring(Wide(argv[2]));
    SealedError error = SealedError::kNone;
    const auto start = std::chrono::steady_clock::now();
    const bool derived = keyring.WriteKeys(error) != nullptr;
    const std::chrono::duration<double> took = std::chrono::steady_clock::now() - start;
    if (!derived) return 1;
    std::printf("%.3f %u %u\n", took.count(), kDefaultKdf.memoryKiB, kDefaultKdf.passes);
    return 0;
  }
  if (argc < 4 || (std::strcmp(argv[1], "encrypt") != 0 && std::strcmp(argv[1], "decrypt") != 0)) {
    std::fprintf(stderr, "usage: sealed_run encrypt|decrypt KEY PATH... | sealed_run kdf KEY\n");
    return 2;
  }
  RunDescription run;
  run.keyText = Wide(argv[2]);
  run.key = MakeKeyBlock(run.keyText);
  run.format = FileFormat::kSealed;
  run.direction = std::strcmp(argv[1], "decrypt") == 0 ? Direction::kDecrypt : Direction::kEncrypt;
  std::vector<std::wstring> paths;
  for (int i = 3; i < argc; ++i) paths.push_back(Wide(argv[i]));
  Silent reporter;
  return RunSelection(paths, run, reporter).allDone() ? 0 : 1;
}
