#pragma once
// What the engine tells a user about one file, by name rather than by text, so
// that each front (the dialog in the user's language, the command line in the
// terminal's) words it itself. The designed Chinese texts are here too: they
// are what a Chinese front shows, word for word.
#include <string>

#include "crypto/cipher_algorithm.h"

namespace vellumo {

enum class FileMessage {
  kNone,              // nothing to say: the file was done
  kCannotOpen,        // "打不开!"
  kAlreadyEncrypted,  // "已是加密文件!"
  kNotEncrypted,      // "不是密文!"
  kWrongKey,          // "所选密钥错误!"
  kUnpackFailed,      // "解压失败!"
  kReadWriteFailed,   // "读写失败!"
  kReplaceFailed,     // "替换失败!"
  kPacksItself,       // "不能打包自身!"
  kPackFailed,        // "打包失败!"
  // The sealed format
  kDamaged,           // "已损坏或被改动!": a chunk did not open (changed, cut short, extended)
  kUnsupported,       // "加密格式不支持!": another version, or parameters out of bounds
  kNoMemory,          // "内存不足!": the key derivation could not get its memory
  kAlreadySealed,     // "已是安全格式!": an upgrade met a file in the sealed format
  kUnknownCipher,     // "加密算法未知!": a header naming no cipher this program has
};

// The designed ending of a file's message ("打不开!"); empty for kNone.
const wchar_t* MessageEnding(FileMessage message);
// The designed message box text: "文件:" + path + "  " + ending.
std::wstring RefusalText(FileMessage message, const std::wstring& path);
// The designed status line: "正在加密文件:" / "正在解密文件:" + path.
std::wstring StatusLine(Direction direction, const std::wstring& path);

}  // namespace vellumo
