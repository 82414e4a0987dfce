#include "cli/json_line.h"

#include <cmath>
#include <cstdio>

namespace {

// The length of the UTF-8 sequence starting at `i`, 0 when it is not one.
size_t Utf8Length(const std::string& s, size_t i) {
  const auto byte = [&](size_t k) { return static_cast<unsigned char>(s[k]); };
  const unsigned char c = byte(i);
  size_t n = 0;
  if (c >= 0xC2 && c <= 0xDF) n = 2;
  else if (c >= 0xE0 && c <= 0xEF) n = 3;
  else if (c >= 0xF0 && c <= 0xF4) n = 4;
  else return 0;
  if (i + n > s.size()) return 0;
  for (size_t k = 1; k < n; ++k)
    if ((byte(i + k) & 0xC0) != 0x80) return 0;
  // Overlong forms, surrogates and values past U+10FFFF are not UTF-8.
  if (c == 0xE0 && byte(i + 1) < 0xA0) return 0;
  if (c == 0xED && byte(i + 1) > 0x9F) return 0;
  if (c == 0xF0 && byte(i + 1) < 0x90) return 0;
  if (c == 0xF4 && byte(i + 1) > 0x8F) return 0;
  return n;
}

}  // namespace

std::string jsonlineclass::Quoted(const std::string& value) {
  std::string out = "\"";
  for (size_t i = 0; i < value.size();) {
    const unsigned char c = static_cast<unsigned char>(value[i]);
    if (c >= 0x80) {
      const size_t n = Utf8Length(value, i);
      if (n == 0) {
        out += "\\ufffd";
        ++i;
      } else {
        out.append(value, i, n);
        i += n;
      }
      continue;
    }
    if (c == '"') out += "\\\"";
    else if (c == '\\') out += "\\\\";
    else if (c == '\n') out += "\\n";
    else if (c == '\r') out += "\\r";
    else if (c == '\t') out += "\\t";
    else if (c < 0x20 || c == 0x7F) {
      char hex[8];
      std::snprintf(hex, sizeof hex, "\\u%04x", c);
      out += hex;
    } else {
      out += static_cast<char>(c);
    }
    ++i;
  }
  return out + "\"";
}

std::string jsonlineclass::CodeAndText(const std::string& code, const std::string& text) {
  return "{\"code\":" + Quoted(code) + ",\"text\":" + Quoted(text) + "}";
}

void jsonlineclass::Key(const char* key) {
  if (text_.size() > 1) text_ += ",";
  text_ += Quoted(key) + ":";
}

jsonlineclass& jsonlineclass::Text(const char* key, const std::string& value) {
  Key(key);
  text_ += Quoted(value);
  return *this;
}

jsonlineclass& jsonlineclass::Integer(const char* key, int64_t value) {
  Key(key);
  text_ += std::to_string(value);
  return *this;
}

jsonlineclass& jsonlineclass::Number(const char* key, double value) {
  Key(key);
  if (!std::isfinite(value)) {
    text_ += "null";
    return *this;
  }
  char buffer[40];
  std::snprintf(buffer, sizeof buffer, "%.17g", value);
  text_ += buffer;
  return *this;
}

jsonlineclass& jsonlineclass::Boolean(const char* key, bool value) {
  Key(key);
  text_ += value ? "true" : "false";
  return *this;
}

jsonlineclass& jsonlineclass::Texts(const char* key, const std::vector<std::string>& values) {
  Key(key);
  text_ += "[";
  for (size_t i = 0; i < values.size(); ++i) text_ += (i ? "," : "") + Quoted(values[i]);
  text_ += "]";
  return *this;
}

jsonlineclass& jsonlineclass::Raw(const char* key, const std::string& json) {
  Key(key);
  text_ += json;
  return *this;
}
