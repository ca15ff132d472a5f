// clip-encrypt and clip-decrypt: the clipboard cipher text through standard
// input and output. Encryption writes the sealed form ("vellumo:" ...) unless
// --legacy asks for the legacy one; decryption opens both by their text.
//
// Text goes in and comes out in the terminal's encoding. The sealed form
// carries the text itself (UTF-8), so any text crosses; the legacy form
// carries the ANSI code page's bytes, as on the dialog's clipboard, so that
// the same text gives the same cipher text on both fronts. With --raw standard
// input and output are the clipboard block's bytes themselves.
#include "cli/cli.h"
#include "cli/commands.h"
#include "cli/console.h"
#include "cli/key_input.h"
#include "clipboard/clip_codec.h"
#include "crypto/ansi_codepage.h"
#include "crypto/key_block.h"

namespace vellumo::cli {
namespace {

// Text from standard input. Bytes that are not well formed in the terminal's
// encoding are taken to be in the code page already.
std::wstring InputText(const std::string& input, unsigned codePage) {
  std::wstring text;
  if (!DecodeTerminalText(input, text)) text = FromAnsi(input, codePage);
  return text;
}

// The clipboard block the dialog would hold for the text on standard input:
// its code page bytes and the terminating zero.
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

Msg RefusalMessage(ClipRefusal refusal) {
  switch (refusal) {
    case ClipRefusal::kNone:
    case ClipRefusal::kEmpty: return Msg::kNothingToEncrypt;
    case ClipRefusal::kAlreadyCipherText: return Msg::kAlreadyCipherText;
    case ClipRefusal::kTooLarge: return Msg::kTextTooLong;
    case ClipRefusal::kNotCipherText: return Msg::kNotCipherText;
    case ClipRefusal::kWrongKey: return Msg::kKeyDoesNotMatch;
    case ClipRefusal::kDamaged: return Msg::kCipherTextDamaged;
    case ClipRefusal::kUnsupported: return Msg::kCipherTextUnsupported;
    case ClipRefusal::kNoMemory: return Msg::kNoMemoryForKey;
  }
  return Msg::kNotCipherText;
}

Msg RefusalMessage(SealedError error) {
  switch (error) {
    case SealedError::kNone:
    case SealedError::kNotSealed: return Msg::kNotCipherText;
    case SealedError::kUnsupported: return Msg::kCipherTextUnsupported;
    case SealedError::kWrongKey: return Msg::kKeyDoesNotMatch;
    case SealedError::kDamaged: return Msg::kCipherTextDamaged;
    case SealedError::kNoMemory: return Msg::kNoMemoryForKey;
  }
  return Msg::kCipherTextDamaged;
}

int Refused(Msg message) {
  Tell(Say(message));
  return kExitRefused;
}

int Written(bool written) {
  if (written) return kExitOk;
  Tell(Say(Msg::kCannotWriteOutput));
  return kExitRefused;
}

// The legacy form over all of `block`'s bytes, as the codec's reference blocks
// are (the dialog hands it the clipboard's text, the command line what it was given).
ClipResult LegacyTransform(Direction direction, const std::string& block, const KeyBlock& key, unsigned codePage) {
  ClipResult result;
  const std::wstring text = FromAnsi(block, codePage);
  if (auto transformed = TransformClipText(direction, block, key, codePage)) {
    result.block = std::move(*transformed);
  } else if (direction == Direction::kEncrypt) {
    result.refusal = block.empty()                                     ? ClipRefusal::kEmpty
                     : IsClipCipherText(text) || IsSealedClipText(text) ? ClipRefusal::kAlreadyCipherText
                                                                        : ClipRefusal::kTooLarge;
  } else {
    result.refusal = IsClipCipherText(text) ? ClipRefusal::kWrongKey : ClipRefusal::kNotCipherText;
  }
  return result;
}

// The block without its terminating zero.
std::string Text(const ClipResult& result) { return result.block.substr(0, result.block.size() - 1); }

}  // namespace

int RunClipboard(const Options& options) {
  const bool encrypt = options.command == Command::kClipEncrypt;
  const Direction direction = encrypt ? Direction::kEncrypt : Direction::kDecrypt;
  const bool seal = encrypt && options.format == FileFormat::kSealed;
  const KeyUse use = !encrypt ? KeyUse::kExisting : seal ? KeyUse::kNewSealed : KeyUse::kNewLegacy;
  int status = kExitOk;
  const auto keyText = ObtainKey(options, use, status);
  if (!keyText) return status;
  const KeyBlock key = MakeKeyBlock(*keyText, options.codePage);
  SealedKeyring keyring(*keyText);

  const auto input = ReadAllInput();
  if (!input) return Refused(Msg::kCannotReadInput);
  const std::string cipher = options.raw || encrypt ? *input : WithoutTrailingLineBreaks(*input);
  const bool sealedText = !encrypt && IsSealedClipText(FromAnsi(cipher, options.codePage));

  if (options.raw) {
    const ClipResult result =
        seal || sealedText ? TransformClipBlock(direction, ClipForm::kSealed, *input, key, keyring, options.codePage)
                           : LegacyTransform(direction, *input, key, options.codePage);
    if (result.refusal != ClipRefusal::kNone) return Refused(RefusalMessage(result.refusal));
    return Written(WriteBytes(Stream::kOut, Text(result)));
  }
  if (seal) {
    const std::wstring text = InputText(*input, options.codePage);
    if (text.empty()) return Refused(Msg::kNothingToEncrypt);
    if (IsClipCipherText(text) || IsSealedClipText(text)) return Refused(Msg::kAlreadyCipherText);
    SealedError error = SealedError::kNone;
    const std::wstring sealed = SealClipText(text, keyring, error);
    if (error != SealedError::kNone) return Refused(RefusalMessage(error));
    return Written(WriteText(Stream::kOut, sealed + L"\n"));  // one line of ASCII
  }
  if (sealedText) {
    // Opened to the text itself, never through the code page.
    std::wstring text;
    const SealedError error = OpenSealedClipText(FromAnsi(cipher, options.codePage), keyring, text);
    if (error != SealedError::kNone) return Refused(RefusalMessage(error));
    return Written(WriteText(Stream::kOut, text));
  }
  if (encrypt) {
    const auto block = TextBlock(*input, options.codePage);
    if (!block) {
      Tell(Say(Msg::kTextNotInCodePage, {std::to_wstring(CodePageNumber(options.codePage))}));
      return kExitRefused;
    }
    const ClipResult result = LegacyTransform(direction, *block, key, options.codePage);
    if (result.refusal != ClipRefusal::kNone) return Refused(RefusalMessage(result.refusal));
    return Written(WriteBytes(Stream::kOut, Text(result) + "\n"));  // one line of ASCII
  }
  const ClipResult result = LegacyTransform(direction, cipher, key, options.codePage);
  if (result.refusal != ClipRefusal::kNone) return Refused(RefusalMessage(result.refusal));
  return Written(WriteText(Stream::kOut, FromAnsi(Text(result), options.codePage)));
}

}  // namespace vellumo::cli
