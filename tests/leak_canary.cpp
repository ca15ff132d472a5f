// Leaks on purpose. The sanitizer build runs it to prove that leak checking is
// really on where the suite runs: LeakSanitizer can be silently off (turned off
// in ASAN_OPTIONS, or unable to work under a tracer), and then no test would
// see a leak.
#include <cstdio>
#include <cstdlib>

int main() {
  void* volatile lost = std::malloc(4096);
  std::printf("%p\n", lost);
  lost = nullptr;
  return 0;
}
