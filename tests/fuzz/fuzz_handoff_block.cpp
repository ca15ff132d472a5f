// Reading the file-list handoff block: any block content gives entries, and
// entries written back into a block read the same.
#include <cstdint>
#include <cstring>
#include <string>
#include <vector>

#include "fuzz_support.h"
#include "handoff/handoff_layout.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  using namespace vellumo;
  std::vector<uint16_t> block(size / 2);
  if (!block.empty()) std::memcpy(block.data(), data, block.size() * 2);
  const auto entries = DecodeHandoffBlock(block.data(), block.size());

  size_t textUnits = 0;
  for (const auto& e : entries) textUnits += e.size() * 2 + 1;  // surrogate pairs at most double
  if (textUnits * 2 >= kHandoffTextLimit) return 0;
  const auto encoded = EncodeHandoffBlock(entries);
  if (encoded.size() * 2 != kHandoffBlockSize) fuzz::Fail("a block of another size");
  if (DecodeHandoffBlock(encoded.data(), encoded.size()) != entries) fuzz::Fail("entries do not read back the same");
  return 0;
}
