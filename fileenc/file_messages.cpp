#include "fileenc/file_messages.h"

namespace vellumo {

const wchar_t* MessageEnding(FileMessage message) {
  switch (message) {
    case FileMessage::kNone: return L"";
    case FileMessage::kCannotOpen: return L"打不开!";
    case FileMessage::kAlreadyEncrypted: return L"已是加密文件!";
    case FileMessage::kNotEncrypted: return L"不是密文!";
    case FileMessage::kWrongKey: return L"所选密钥错误!";
    case FileMessage::kUnpackFailed: return L"解压失败!";
    case FileMessage::kReadWriteFailed: return L"读写失败!";
    case FileMessage::kReplaceFailed: return L"替换失败!";
    case FileMessage::kPacksItself: return L"不能打包自身!";
    case FileMessage::kPackFailed: return L"打包失败!";
    case FileMessage::kDamaged: return L"已损坏或被改动!";
    case FileMessage::kUnsupported: return L"加密格式不支持!";
    case FileMessage::kNoMemory: return L"内存不足!";
    case FileMessage::kAlreadySealed: return L"已是安全格式!";
    case FileMessage::kUnknownCipher: return L"加密算法未知!";
  }
  return L"";
}

std::wstring RefusalText(FileMessage message, const std::wstring& path) {
  return L"文件:" + path + L"  " + MessageEnding(message);
}

std::wstring StatusLine(Direction direction, const std::wstring& path) {
  return (direction == Direction::kDecrypt ? L"正在解密文件:" : L"正在加密文件:") + path;
}

}  // namespace vellumo
