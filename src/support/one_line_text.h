// Texts that must stay on one line (log lines, command-line messages).
#pragma once

#include <cstddef>
#include <string>

// True for the bytes that would break a line or a terminal: the C0 controls
// and DEL. Bytes of 0x80 and above (UTF-8) are text.
bool IsControlCharacter(char c);
// The C escape of a control character ("\n", "\r", "\t", else "\xNN" in
// lower-case hex) written to `out`, which has room for 4; returns its length.
size_t ControlCharacterEscape(char c, char* out);
// The text with every control character C-escaped, all else unchanged.
std::string EscapeControlCharacters(const std::string& text);
// A path (or other text) for a one-line message: unchanged when it holds no
// control character, else a double-quoted C string (with \\ and \" escaped
// as well, and \xNN always two digits, so the quoting can be undone).
std::string OneLineQuoted(const std::string& text);
