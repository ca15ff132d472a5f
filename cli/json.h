#pragma once
// The little JSON the command line writes (--json). Everything beyond ASCII is
// written as \u escapes, so the output is the same bytes in UTF-8 and in
// any code page a console or "type" might read it in.
#include <cstdint>
#include <string>

namespace vellumo::cli {

// A JSON string: quoted, escaped.
std::string JsonString(const std::wstring& text);
// The same for a fixed ASCII name ("done", "wrong-key").
inline std::string JsonString(const char* ascii) { return "\"" + std::string(ascii) + "\""; }

// An object or array built member by member.
class JsonList {
 public:
  explicit JsonList(char open) : text_(1, open), close_(open == '{' ? '}' : ']') {}
  // An array element or, with a name, an object member; `json` is already JSON.
  JsonList& Add(const std::string& json);
  JsonList& Add(const char* name, const std::string& json);
  std::string Close() const { return text_ + close_; }

 private:
  std::string text_;
  char close_;
  bool first_ = true;
};

inline std::string JsonNumber(int64_t value) { return std::to_string(value); }
inline std::string JsonBool(bool value) { return value ? "true" : "false"; }

}  // namespace vellumo::cli
