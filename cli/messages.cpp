#include "cli/messages.h"

#include "crypto/utf8.h"

namespace vellumo::cli {
namespace {

struct Entry {
  Msg id;
  const wchar_t* english;
  const wchar_t* chinese;
};

// "{0}", "{1}", ... stand for the arguments, in any order the language needs.
constexpr Entry kTexts[] = {
    {Msg::kUsageHint, L"Try 'vellumo-cli --help' for more information.", L"用“vellumo-cli --help”查看用法。"},
    {Msg::kNoCommand, L"no command given", L"没有给出命令"},
    {Msg::kUnknownCommand, L"unknown command \"{0}\"", L"未知命令“{0}”"},
    {Msg::kUnknownOption, L"unknown option {0}", L"未知选项 {0}"},
    {Msg::kNeedsValue, L"{0} needs a value", L"{0} 需要一个值"},
    {Msg::kTakesNoValue, L"{0} takes no value", L"{0} 不带值"},
    {Msg::kNotWithCommand, L"{0} does not go with {1}", L"{0} 不能用于 {1}"},
    {Msg::kGivenTwice, L"{0} is given twice", L"{0} 给了两次"},
    {Msg::kOneKeySource, L"give only one of --key, --key-stdin, --key-file and --key-name",
     L"--key、--key-stdin、--key-file 和 --key-name 只能给一个"},
    {Msg::kDbWithoutKeyName, L"--db goes with keys or --key-name", L"--db 只能用于 keys 或与 --key-name 同用"},
    {Msg::kUnknownCipher, L"unknown cipher \"{0}\" (sealed, aes, des or rc4)",
     L"未知算法“{0}”（可用 sealed、aes、des 或 rc4）"},
    {Msg::kUnknownCodePage, L"unknown code page \"{0}\"", L"未知代码页“{0}”"},
    {Msg::kNoPath, L"no PATH given", L"没有给出路径"},
    {Msg::kUnexpectedArgument, L"unexpected argument \"{0}\"", L"多余的参数“{0}”"},
    {Msg::kCommandUsage, L"usage: vellumo-cli {0}", L"用法：vellumo-cli {0}"},

    {Msg::kPromptKey, L"Key: ", L"密钥："},
    {Msg::kPromptKeyAgain, L"Key again: ", L"再输入一次密钥："},
    {Msg::kNoTerminal, L"no key given, and no terminal to ask for one", L"没有给出密钥，也没有可以询问密钥的终端"},
    {Msg::kNoKeyLine, L"{0}: no key line", L"{0}：没有密钥行"},
    {Msg::kCannotReadKeyFile, L"cannot read the key file {0}: {1}", L"无法读取密钥文件 {0}（{1}）"},
    {Msg::kEmptyKey, L"the key is empty; an empty key is refused", L"密钥为空，不能使用"},
    {Msg::kKeyNotInCodePage,
     L"the key holds characters that code page {0} cannot hold; they would all become \"?\", and different keys "
     L"would be one",
     L"密钥中有代码页 {0} 不能表示的字符：它们都会变成“?”，不同的密钥会成为同一个"},
    {Msg::kKeysDiffer, L"the two keys differ; nothing was done", L"两次输入的密钥不同，什么也没有做"},
    {Msg::kKeyCut, L"note: only the first 16 bytes of a key count; this one has {0}",
     L"注意：密钥只有前 16 个字节起作用，这个密钥有 {0} 个字节"},
    {Msg::kKeyHasZero, L"the key holds a zero character; a key text ends there", L"密钥中有零字符，密钥文字到此为止"},

    {Msg::kDbMissing, L"no key database at {0} (\"vellumo-cli keys add\" makes one)",
     L"密钥库 {0} 不存在（“vellumo-cli keys add”会建立它）"},
    {Msg::kDbNotADatabase, L"{0} is not a key database", L"{0} 不是密钥库"},
    {Msg::kDbNoKeyTable, L"{0} holds no key table: not a key database", L"{0} 中没有密钥表，不是密钥库"},
    {Msg::kDbUnreadable, L"cannot read the key database {0}", L"无法读取密钥库 {0}"},
    {Msg::kDbCannotMake, L"cannot make the key database {0}", L"无法建立密钥库 {0}"},
    {Msg::kDbCannotWrite, L"cannot write to the key database {0}", L"无法写入密钥库 {0}"},
    {Msg::kDbMade, L"made the key database {0}", L"已建立密钥库 {0}"},
    {Msg::kNoSuchKey, L"no key named \"{0}\" in {1}", L"密钥库 {1} 中没有名为“{0}”的密钥"},
    {Msg::kKeyNameTaken, L"a key named \"{0}\" already exists", L"已有名为“{0}”的密钥"},
    {Msg::kKeyNameShared, L"{1} keys are named \"{0}\"; tell them apart in Vellumo's key list first",
     L"有 {1} 个密钥都叫“{0}”，请先在 Vellumo 的密钥列表中把它们区分开"},
    {Msg::kEmptyName, L"the key name is empty", L"密钥名称为空"},
    {Msg::kNameNotInCodePage, L"the key name holds characters that code page {0} cannot hold",
     L"密钥名称中有代码页 {0} 不能表示的字符"},
    {Msg::kNoteNotInCodePage, L"the note holds characters that code page {0} cannot hold",
     L"备注中有代码页 {0} 不能表示的字符"},
    {Msg::kKeyAdded, L"added the key \"{0}\" to {1}", L"已把密钥“{0}”加入 {1}"},
    {Msg::kKeyRemoved, L"removed the key \"{0}\"", L"已删除密钥“{0}”"},
    {Msg::kKeyRenamed, L"renamed the key \"{0}\" to \"{1}\"", L"已把密钥“{0}”改名为“{1}”"},

    {Msg::kCannotReadInput, L"cannot read standard input", L"无法读取标准输入"},
    {Msg::kCannotWriteOutput, L"cannot write standard output", L"无法写入标准输出"},
    {Msg::kNothingToEncrypt, L"standard input is empty: nothing to encrypt", L"标准输入为空，没有可加密的内容"},
    {Msg::kAlreadyCipherText, L"the text already is clipboard cipher text: left unchanged",
     L"这段文字已是剪贴板密文，保持不变"},
    {Msg::kTextTooLong, L"the text is too long: left unchanged", L"文字太长，保持不变"},
    {Msg::kTextNotInCodePage, L"the text holds characters that code page {0} cannot hold: left unchanged",
     L"文字中有代码页 {0} 不能表示的字符，保持不变"},
    {Msg::kKeyDoesNotMatch, L"the key does not match this cipher text: left unchanged",
     L"密钥与这段密文不符，保持不变"},
    {Msg::kNotCipherText, L"the text is not clipboard cipher text: left unchanged",
     L"这段文字不是剪贴板密文，保持不变"},
    {Msg::kCipherTextDamaged, L"the cipher text was changed or cut short: left unchanged",
     L"这段密文已损坏或被改动，保持不变"},
    {Msg::kCipherTextUnsupported, L"the cipher text is of a form this version does not support: left unchanged",
     L"这段密文的格式不支持，保持不变"},
    {Msg::kNoMemoryForKey, L"not enough memory for the key: left unchanged", L"内存不足，保持不变"},

    // Chinese file lines are the dialog's message box texts (RefusalText).
    {Msg::kFileCannotOpen, L"{0}: cannot open", L""},
    {Msg::kFileAlreadyEncrypted, L"{0}: already encrypted", L""},
    {Msg::kFileNotEncrypted, L"{0}: not encrypted", L""},
    {Msg::kFileWrongKey, L"{0}: wrong key", L""},
    {Msg::kFileUnpackFailed, L"{0}: cannot unpack", L""},
    {Msg::kFileReadWriteFailed, L"{0}: read or write failed", L""},
    {Msg::kFileReplaceFailed, L"{0}: cannot replace the file", L""},
    {Msg::kFilePacksItself, L"{0}: the selection holds the archive itself", L""},
    {Msg::kFilePackFailed, L"{0}: could not be packed", L""},
    {Msg::kFileDamaged, L"{0}: damaged or changed since it was encrypted", L""},
    {Msg::kFileUnsupported, L"{0}: encrypted in a form this version does not support", L""},
    {Msg::kFileNoMemory, L"{0}: not enough memory for the key", L""},
    {Msg::kFileAlreadySealed, L"{0}: already in the sealed format", L""},
    {Msg::kFileUnknownCipher, L"{0}: encrypted with a cipher this version does not have", L""},
    {Msg::kCauseNotFound, L"no such file", L"文件不存在"},
    {Msg::kCauseNoAccess, L"permission denied", L"没有权限"},
    {Msg::kCauseInUse, L"in use by another program", L"正被其他程序使用"},
    {Msg::kCauseNoSpace, L"disk full", L"磁盘已满"},
    {Msg::kCauseNotAFile, L"not a regular file", L"不是普通文件"},
    {Msg::kCauseLink, L"a symbolic link", L"是符号链接"},
    {Msg::kCauseAlreadyExists, L"the name is taken", L"名称已被占用"},
    {Msg::kCauseIoError, L"input/output error (os error {0})", L"读写错误（系统错误 {0}）"},
    {Msg::kWithCause, L"{0}: {1}", L"{0}（{1}）"},
    {Msg::kEncrypting, L"encrypting {0}", L"正在加密文件:{0}"},
    {Msg::kDecrypting, L"decrypting {0}", L"正在解密文件:{0}"},
    {Msg::kUpgrading, L"upgrading {0}", L"正在升级文件:{0}"},

    {Msg::kSummary, L"{0} {1}, {2} skipped ({3}), {4} failed", L"{1} {0} 个，跳过 {2} 个（{3}），失败 {4} 个"},
    {Msg::kDoneEncrypt, L"encrypted", L"已加密"},
    {Msg::kDoneDecrypt, L"decrypted", L"已解密"},
    {Msg::kDoneUpgrade, L"upgraded", L"已升级"},
    {Msg::kSkippedEncrypt, L"already encrypted", L"已是加密文件"},
    {Msg::kSkippedDecrypt, L"not encrypted", L"不是密文"},
    {Msg::kSkippedUpgrade, L"already sealed", L"已是安全格式"},
    {Msg::kSummaryStopped, L"; stopped, {0} not started", L"；已中断，{0} 个文件没有开始"},
    {Msg::kLeftoversRemoved, L"removed {0} temporary file(s) an interrupted run had left",
     L"已删除上次中断留下的 {0} 个临时文件"},
    {Msg::kLeftoverRemoved, L"removed {0}", L"已删除 {0}"},
    {Msg::kSkipDoneHint, L"{0} file(s) skipped as {1}; --skip-done passes over them quietly",
     L"{0} 个文件{1}，已跳过；加 --skip-done 就不再逐个提示"},
    {Msg::kEta, L"ETA {0}", L"剩余 {0}"},
};

constexpr bool EveryTextIsThere() {
  for (int id = 0; id < static_cast<int>(Msg::kCount); ++id) {
    bool found = false;
    for (const Entry& entry : kTexts) found = found || static_cast<int>(entry.id) == id;
    if (!found) return false;
  }
  return sizeof kTexts / sizeof kTexts[0] == static_cast<size_t>(Msg::kCount);
}
static_assert(EveryTextIsThere(), "every Msg has exactly one entry");

Language g_language = Language::kEnglish;

const wchar_t* Pattern(Msg id) {
  for (const Entry& entry : kTexts) {
    if (entry.id == id) return g_language == Language::kChinese ? entry.chinese : entry.english;
  }
  return L"";
}

}  // namespace

std::wstring ReasonText(const Status& why) {
  switch (why.code()) {
    case StatusCode::kOk:
    case StatusCode::kCancelled: return {};
    case StatusCode::kNotFound: return Say(Msg::kCauseNotFound);
    case StatusCode::kNoAccess: return Say(Msg::kCauseNoAccess);
    case StatusCode::kInUse: return Say(Msg::kCauseInUse);
    case StatusCode::kNoSpace: return Say(Msg::kCauseNoSpace);
    case StatusCode::kNotAFile: return Say(Msg::kCauseNotAFile);
    case StatusCode::kLink: return Say(Msg::kCauseLink);
    case StatusCode::kAlreadyExists: return Say(Msg::kCauseAlreadyExists);
    case StatusCode::kIoError: return Say(Msg::kCauseIoError, {std::to_wstring(why.osError())});
  }
  return {};
}

namespace {

Msg EnglishFileText(FileMessage message) {
  switch (message) {
    case FileMessage::kNone:
    case FileMessage::kCannotOpen: return Msg::kFileCannotOpen;
    case FileMessage::kAlreadyEncrypted: return Msg::kFileAlreadyEncrypted;
    case FileMessage::kNotEncrypted: return Msg::kFileNotEncrypted;
    case FileMessage::kWrongKey: return Msg::kFileWrongKey;
    case FileMessage::kUnpackFailed: return Msg::kFileUnpackFailed;
    case FileMessage::kReadWriteFailed: return Msg::kFileReadWriteFailed;
    case FileMessage::kReplaceFailed: return Msg::kFileReplaceFailed;
    case FileMessage::kPacksItself: return Msg::kFilePacksItself;
    case FileMessage::kPackFailed: return Msg::kFilePackFailed;
    case FileMessage::kDamaged: return Msg::kFileDamaged;
    case FileMessage::kUnsupported: return Msg::kFileUnsupported;
    case FileMessage::kNoMemory: return Msg::kFileNoMemory;
    case FileMessage::kAlreadySealed: return Msg::kFileAlreadySealed;
    case FileMessage::kUnknownCipher: return Msg::kFileUnknownCipher;
  }
  return Msg::kFileCannotOpen;
}

// The help texts (cli/help.en.txt, cli/help.zh-CN.txt), written by
// cli/CMakeLists.txt as UTF-8 string literals kHelpEnglish and kHelpChinese.
#include "cli/help_texts.inc"

}  // namespace

void SetLanguage(Language language) { g_language = language; }
Language CurrentLanguage() { return g_language; }

std::wstring Say(Msg id, std::initializer_list<std::wstring> args) {
  const std::wstring pattern = Pattern(id);
  std::wstring text;
  for (size_t i = 0; i < pattern.size(); ++i) {
    const size_t n = pattern[i] == L'{' && i + 2 < pattern.size() && pattern[i + 2] == L'}'
                         ? static_cast<size_t>(pattern[i + 1] - L'0')
                         : args.size();
    if (n < args.size()) {
      text += *(args.begin() + n);
      i += 2;
    } else {
      text += pattern[i];
    }
  }
  return text;
}

std::wstring FileLine(FileMessage message, const std::wstring& path, const Status& why) {
  const std::wstring line =
      g_language == Language::kChinese ? RefusalText(message, path) : Say(EnglishFileText(message), {path});
  const std::wstring cause = ReasonText(why);
  return cause.empty() ? line : Say(Msg::kWithCause, {line, cause});
}

std::wstring SkippedAs(RunKind kind) {
  switch (kind) {
    case RunKind::kEncrypt: return Say(Msg::kSkippedEncrypt);
    case RunKind::kDecrypt: return Say(Msg::kSkippedDecrypt);
    case RunKind::kUpgrade: return Say(Msg::kSkippedUpgrade);
  }
  return {};
}

std::wstring SummaryLine(const RunSummary& summary, RunKind kind) {
  const Msg done = kind == RunKind::kEncrypt   ? Msg::kDoneEncrypt
                   : kind == RunKind::kDecrypt ? Msg::kDoneDecrypt
                                               : Msg::kDoneUpgrade;
  std::wstring line = Say(Msg::kSummary, {std::to_wstring(summary.done), Say(done), std::to_wstring(summary.skipped),
                                          SkippedAs(kind), std::to_wstring(summary.refused + summary.failed)});
  if (summary.cancelled) line += Say(Msg::kSummaryStopped, {std::to_wstring(summary.notStarted)});
  return line;
}

std::wstring HelpText() {
  std::wstring text;
  FromUtf8(g_language == Language::kChinese ? kHelpChinese : kHelpEnglish, text);
  return text;
}

}  // namespace vellumo::cli
