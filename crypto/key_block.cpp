#include "crypto/key_block.h"

#include <algorithm>

namespace vellumo {

KeyBlock MakeKeyBlock(const std::wstring& keyText, unsigned codePage) {
  std::string ansi = ToAnsi(keyText, codePage);
  KeyBlock block{};  // zero padded
  // The cut counts bytes, so it may fall inside a double-byte character.
  std::copy_n(ansi.begin(), std::min(ansi.size(), block.size()), block.begin());
  return block;
}

KeyBlock OverlayKeyBlock(const std::wstring& listKeyText, const std::wstring& typedKeyText, unsigned codePage) {
  KeyBlock block = MakeKeyBlock(listKeyText, codePage);
  const std::string typed = ToAnsi(typedKeyText, codePage);
  std::copy_n(typed.begin(), std::min(typed.size(), block.size()), block.begin());
  return block;
}

std::wstring RunKeyText(const std::wstring& listKeyText, const std::wstring& typedKeyText) {
  return typedKeyText.empty() ? listKeyText : typedKeyText;
}

KeyTextProblem CheckNewKeyText(const std::wstring& keyText, unsigned codePage) {
  if (keyText.empty()) return KeyTextProblem::kEmpty;
  // A zero character has a byte in every code page, but code page text ends
  // there: the key database would give back only what comes before it, and a
  // key of zeros alone is the all-zero block.
  if (keyText.find(L'\0') != std::wstring::npos) return KeyTextProblem::kNotInCodePage;
  if (!CanEncodeAnsi(keyText, codePage)) return KeyTextProblem::kNotInCodePage;
  return KeyTextProblem::kNone;
}

}  // namespace vellumo
