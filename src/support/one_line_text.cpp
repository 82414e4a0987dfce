// Texts that must stay on one line: control characters escaped, paths
// quoted when they hold any.
#include "support/one_line_text.h"

#include <algorithm>

bool IsControlCharacter(char c) {
  const unsigned char u = static_cast<unsigned char>(c);
  return u < 0x20 || u == 0x7f;
}

size_t ControlCharacterEscape(char c, char* out) {
  out[0] = '\\';
  switch (c) {
    case '\n': out[1] = 'n'; return 2;
    case '\r': out[1] = 'r'; return 2;
    case '\t': out[1] = 't'; return 2;
    default: break;
  }
  static const char kHex[] = "0123456789abcdef";
  const unsigned char u = static_cast<unsigned char>(c);
  out[1] = 'x';
  out[2] = kHex[u >> 4];
  out[3] = kHex[u & 0x0f];
  return 4;
}

std::string EscapeControlCharacters(const std::string& text) {
  if (std::none_of(text.begin(), text.end(), IsControlCharacter)) return text;
  std::string escaped;
  escaped.reserve(text.size() + 8);
  char buffer[4];
  for (char c : text) {
    if (IsControlCharacter(c)) {
      escaped.append(buffer, ControlCharacterEscape(c, buffer));
    } else {
      escaped += c;
    }
  }
  return escaped;
}

std::string OneLineQuoted(const std::string& text) {
  if (std::none_of(text.begin(), text.end(), IsControlCharacter)) return text;
  std::string quoted(1, '"');
  char buffer[4];
  for (char c : text) {
    if (IsControlCharacter(c)) {
      quoted.append(buffer, ControlCharacterEscape(c, buffer));
    } else {
      if (c == '\\' || c == '"') quoted += '\\';
      quoted += c;
    }
  }
  quoted += '"';
  return quoted;
}
