#pragma once
// The engine's voice in a fuzz target: nothing shown, refusals counted.
#include <string>

#include "fileenc/reporter.h"

namespace vellumo::fuzz {

class QuietReporter : public Reporter {
 public:
  void FileStarted(Direction, const std::wstring&) override {}
  void Refuse(FileMessage, const std::wstring&) override { ++refusals; }
  int refusals = 0;
};

}  // namespace vellumo::fuzz
