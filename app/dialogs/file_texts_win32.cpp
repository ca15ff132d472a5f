#include "app/dialogs/file_texts_win32.h"

#include <windows.h>

#include <cwctype>

#include "app/dialogs/dialog_text.h"
#include "app/dialogs/dialog_win32.h"
#include "resources/resource.h"

namespace vellumo {
namespace {

struct MessageIds {
  UINT box;
  UINT reason;
};

MessageIds IdsOf(FileMessage message) {
  switch (message) {
    case FileMessage::kNone: break;
    case FileMessage::kCannotOpen: return {IDS_MSG_CANNOT_OPEN, IDS_REASON_CANNOT_OPEN};
    case FileMessage::kAlreadyEncrypted: return {IDS_MSG_ALREADY_ENCRYPTED, IDS_REASON_ALREADY_ENCRYPTED};
    case FileMessage::kNotEncrypted: return {IDS_MSG_NOT_ENCRYPTED, IDS_REASON_NOT_ENCRYPTED};
    case FileMessage::kWrongKey: return {IDS_MSG_WRONG_KEY, IDS_REASON_WRONG_KEY};
    case FileMessage::kUnpackFailed: return {IDS_MSG_UNPACK_FAILED, IDS_REASON_UNPACK_FAILED};
    case FileMessage::kReadWriteFailed: return {IDS_MSG_READ_WRITE_FAILED, IDS_REASON_READ_WRITE_FAILED};
    case FileMessage::kReplaceFailed: return {IDS_MSG_REPLACE_FAILED, IDS_REASON_REPLACE_FAILED};
    case FileMessage::kPacksItself: return {IDS_MSG_PACKS_ITSELF, IDS_REASON_PACKS_ITSELF};
    case FileMessage::kPackFailed: return {IDS_MSG_PACK_FAILED, IDS_REASON_PACK_FAILED};
    case FileMessage::kDamaged: return {IDS_MSG_DAMAGED, IDS_REASON_DAMAGED};
    case FileMessage::kUnsupported: return {IDS_MSG_UNSUPPORTED, IDS_REASON_UNSUPPORTED};
    case FileMessage::kNoMemory: return {IDS_MSG_NO_MEMORY, IDS_REASON_NO_MEMORY};
    case FileMessage::kAlreadySealed: return {IDS_MSG_ALREADY_SEALED, IDS_REASON_ALREADY_SEALED};
    case FileMessage::kUnknownCipher: return {IDS_MSG_UNKNOWN_CIPHER, IDS_REASON_UNKNOWN_CIPHER};
  }
  return {0, 0};
}

// The system's own words for an error, in the user's language.
std::wstring SystemText(int osError) {
  wchar_t* text = nullptr;
  const DWORD length = FormatMessageW(
      FORMAT_MESSAGE_ALLOCATE_BUFFER | FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS, nullptr,
      static_cast<DWORD>(osError), 0, reinterpret_cast<wchar_t*>(&text), 0, nullptr);
  std::wstring words(text != nullptr ? text : L"", length);
  LocalFree(text);
  while (!words.empty() && (iswspace(words.back()) || words.back() == L'.' || words.back() == L'。')) words.pop_back();
  return words;
}

}  // namespace

std::wstring RefusalBoxText(FileMessage message, const std::wstring& path) {
  return FillText(Text(IdsOf(message).box), {path});
}

std::wstring StatusText(Direction direction, const std::wstring& path, size_t* pathStart) {
  const std::wstring pattern = Text(direction == Direction::kDecrypt ? IDS_STATUS_DECRYPTING : IDS_STATUS_ENCRYPTING);
  const size_t at = pattern.find(L"%s");
  if (pathStart != nullptr) *pathStart = at == std::wstring::npos ? 0 : at;
  return FillText(pattern, {path});
}

std::wstring ReasonText(const FileResult& file) {
  if (file.outcome == FileOutcome::kCancelled) return Text(IDS_REASON_STOPPED);
  std::wstring reason = Text(IdsOf(file.message).reason);
  if (file.status.osError() != 0) {
    const std::wstring words = SystemText(file.status.osError());
    if (!words.empty()) reason += L" (" + words + L")";
  }
  return reason;
}

}  // namespace vellumo
