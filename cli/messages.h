#pragma once
// Every text the command line shows, in English and in Chinese. The user's
// language (a Chinese locale on POSIX, a Chinese UI language on Windows) picks
// Chinese, anything else English; a file's refusal in Chinese is the dialog's
// own text.
#include <initializer_list>
#include <string>

#include "fileenc/file_engine.h"

namespace vellumo::cli {

enum class Language { kEnglish, kChinese };
void SetLanguage(Language language);
Language CurrentLanguage();

enum class Msg {
  // The command line (exit status 2, followed by kUsageHint).
  kUsageHint,
  kNoCommand,
  kUnknownCommand,
  kUnknownOption,
  kNeedsValue,
  kTakesNoValue,
  kNotWithCommand,
  kGivenTwice,
  kOneKeySource,
  kDbWithoutKeyName,
  kUnknownCipher,
  kUnknownCodePage,
  kNoPath,
  kUnexpectedArgument,
  kCommandUsage,
  // The key.
  kPromptKey,
  kPromptKeyAgain,
  kNoTerminal,
  kNoKeyLine,
  kCannotReadKeyFile,
  kEmptyKey,
  kKeyNotInCodePage,
  kKeysDiffer,
  kKeyCut,
  kKeyHasZero,
  // The key database.
  kDbMissing,
  kDbNotADatabase,
  kDbNoKeyTable,
  kDbUnreadable,
  kDbCannotMake,
  kDbCannotWrite,
  kDbMade,
  kNoSuchKey,
  kKeyNameTaken,
  kKeyNameShared,
  kEmptyName,
  kNameNotInCodePage,
  kNoteNotInCodePage,
  kKeyAdded,
  kKeyRemoved,
  kKeyRenamed,
  // Clipboard text.
  kCannotReadInput,
  kCannotWriteOutput,
  kNothingToEncrypt,
  kAlreadyCipherText,
  kTextTooLong,
  kTextNotInCodePage,
  kKeyDoesNotMatch,
  kNotCipherText,
  kCipherTextDamaged,
  kCipherTextUnsupported,
  kNoMemoryForKey,
  // Files of a run, in English (Chinese uses the dialog's texts).
  kFileCannotOpen,
  kFileAlreadyEncrypted,
  kFileNotEncrypted,
  kFileWrongKey,
  kFileUnpackFailed,
  kFileReadWriteFailed,
  kFileReplaceFailed,
  kFilePacksItself,
  kFilePackFailed,
  kFileDamaged,
  kFileUnsupported,
  kFileNoMemory,
  kFileAlreadySealed,
  kFileUnknownCipher,
  kCauseNotFound,
  kCauseNoAccess,
  kCauseInUse,
  kCauseNoSpace,
  kCauseNotAFile,
  kCauseLink,
  kCauseAlreadyExists,
  kCauseIoError,
  kWithCause,
  kEncrypting,
  kDecrypting,
  kUpgrading,
  // A run's summary and progress.
  kSummary,
  kDoneEncrypt,
  kDoneDecrypt,
  kDoneUpgrade,
  kSkippedEncrypt,
  kSkippedDecrypt,
  kSkippedUpgrade,
  kSummaryStopped,
  kLeftoversRemoved,
  kLeftoverRemoved,
  kSkipDoneHint,
  kEta,
  kCount
};

// The text of `id` in the current language, "{0}", "{1}", ... replaced by `args`.
std::wstring Say(Msg id, std::initializer_list<std::wstring> args = {});

// What the user is told of a file that was not done: the designed Chinese
// message box text, or its English wording, with the system's reason (a
// missing file, a link, no permission, not a regular file, ...) when there is one.
std::wstring FileLine(FileMessage message, const std::wstring& path, const Status& why);
// The system's reason for a failure, in words: "no such file", "a symbolic link", ...
std::wstring ReasonText(const Status& why);
// What a run of files does.
enum class RunKind { kEncrypt, kDecrypt, kUpgrade };
// The summary line of a run.
std::wstring SummaryLine(const RunSummary& summary, RunKind kind);
// What a file skipped by a run of this kind already is ("already encrypted").
std::wstring SkippedAs(RunKind kind);

// The help text in the current language.
std::wstring HelpText();

}  // namespace vellumo::cli
