// clip-encrypt and clip-decrypt: the clipboard cipher text through standard
// input and output. Text goes in and comes out in the terminal's encoding and
// is the ANSI code page's bytes in between, as on the dialog's clipboard, so
// that the same text gives the same cipher text on both fronts; with --raw
// standard input and output are the clipboard block's bytes themselves.
#include "cli/cli.h"
#include "cli/commands.h"
#include "cli/console.h"
#include "cli/key_input.h"
#include "clipboard/clip_codec.h"
#include "crypto/ansi_codepage.h"
#include "crypto/key_block.h"

namespace vellumo::cli {
namespace {

// The clipboard block the dialog would hold for the text on standard input:
// its code page bytes and the terminating zero. Text that is not well formed
// in the terminal's encoding is taken to be in the code page already.
std::optional<std::string> TextBlock(const std::string& input, unsigned codePage) {
  std::wstring text;
  std::string block = input;
  if (DecodeTerminalText(input, text)) {
    if (!CanEncodeAnsi(text, codePage)) return std::nullopt;
    block = ToAnsi(text, codePage);
  }
  if (!block.empty()) block.push_back('\0');
  return block;
}

// Cipher text pasted or echoed into a pipe often ends in a line break.
std::string WithoutTrailingLineBreaks(std::string text) {
  while (!text.empty() && (text.back() == '\n' || text.back() == '\r')) text.pop_back();
  return text;
}

}  // namespace

int RunClipboard(const Options& options) {
  const bool encrypt = options.command == Command::kClipEncrypt;
  int status = kExitOk;
  const auto keyText = ObtainKey(options, encrypt ? KeyUse::kNew : KeyUse::kExisting, status);
  if (!keyText) return status;
  const KeyBlock key = MakeKeyBlock(*keyText, options.codePage);

  const auto input = ReadAllInput();
  if (!input) {
    Tell(Say(Msg::kCannotReadInput));
    return kExitRefused;
  }
  std::string block = *input;
  if (!options.raw) {
    if (encrypt) {
      const auto text = TextBlock(*input, options.codePage);
      if (!text) {
        Tell(Say(Msg::kTextNotInCodePage, {std::to_wstring(CodePageNumber(options.codePage))}));
        return kExitRefused;
      }
      block = *text;
    } else {
      block = WithoutTrailingLineBreaks(*input);
    }
  }

  auto result = TransformClipText(encrypt ? Direction::kEncrypt : Direction::kDecrypt, block, key, options.codePage);
  if (!result) {
    if (encrypt) {
      Tell(Say(block.empty()                                         ? Msg::kNothingToEncrypt
               : IsClipCipherText(FromAnsi(block, options.codePage)) ? Msg::kAlreadyCipherText
                                                                     : Msg::kTextTooLong));
    } else {
      Tell(Say(IsClipCipherText(FromAnsi(block, options.codePage)) ? Msg::kKeyDoesNotMatch : Msg::kNotCipherText));
    }
    return kExitRefused;
  }
  result->pop_back();  // the block's terminating zero

  bool written;
  if (options.raw) {
    written = WriteBytes(Stream::kOut, *result);
  } else if (encrypt) {
    written = WriteBytes(Stream::kOut, *result + "\n");  // one line of ASCII
  } else {
    written = WriteText(Stream::kOut, FromAnsi(*result, options.codePage));
  }
  if (!written) {
    Tell(Say(Msg::kCannotWriteOutput));
    return kExitRefused;
  }
  return kExitOk;
}

}  // namespace vellumo::cli
