#include "platform/status.h"

namespace vellumo {

std::wstring Status::ToString() const {
  const wchar_t* text = L"ok";
  switch (code_) {
    case StatusCode::kOk: text = L"ok"; break;
    case StatusCode::kNotFound: text = L"not found"; break;
    case StatusCode::kNoAccess: text = L"access denied"; break;
    case StatusCode::kInUse: text = L"in use by another program"; break;
    case StatusCode::kNoSpace: text = L"disk full"; break;
    case StatusCode::kNotAFile: text = L"not a plain file"; break;
    case StatusCode::kAlreadyExists: text = L"already exists"; break;
    case StatusCode::kIoError: text = L"input/output error"; break;
    case StatusCode::kCancelled: text = L"stopped"; break;
  }
  if (osError_ == 0) return text;
  return std::wstring(text) + L" (os error " + std::to_wstring(osError_) + L")";
}

}  // namespace vellumo
