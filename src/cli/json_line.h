// One JSON object on one line (JSON Lines), built field by field, for the
// machine-read results of the command-line programs. Texts are escaped
// (control characters, quotes, backslashes; bytes that are not UTF-8 as
// U+FFFD), numbers are written so that a parser reads back the same value.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

class jsonlineclass {
 public:
  jsonlineclass() { text_ = "{"; }
  jsonlineclass& Text(const char* key, const std::string& value);
  jsonlineclass& Integer(const char* key, int64_t value);
  jsonlineclass& Number(const char* key, double value);  // null when not finite
  jsonlineclass& Boolean(const char* key, bool value);
  jsonlineclass& Texts(const char* key, const std::vector<std::string>& values);
  // A field whose value is already JSON (an object or array made by hand).
  jsonlineclass& Raw(const char* key, const std::string& json);
  // The object, closed; "{...}" without a newline.
  std::string Line() const { return text_ + "}"; }

  static std::string Quoted(const std::string& value);
  // {"code":...,"text":...}
  static std::string CodeAndText(const std::string& code, const std::string& text);

 private:
  void Key(const char* key);
  std::string text_;
};
