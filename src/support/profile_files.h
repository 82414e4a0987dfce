// Profile (INI) values by section and key, with the missing-key sentinel
// "BOGUS SECTION or KEY", and file helpers: base names, text lines, sizes.
#pragma once

#include <cstdint>
#include <string>

class TextStream;

bool ProfileReadText(const std::string& path, const std::string& section, const std::string& key,
                     std::string& value);
bool ProfileReadInt(const std::string& path, const std::string& section, const std::string& key,
                    int32_t& value);
bool ProfileReadBool(const std::string& path, const std::string& section, const std::string& key,
                     bool& value);
bool ProfileWriteText(const std::string& path, const std::string& section, const std::string& key,
                      const std::string& value);
bool ProfileWriteInt(const std::string& path, const std::string& section, const std::string& key,
                     int32_t value);
bool ProfileWriteBool(const std::string& path, const std::string& section, const std::string& key,
                      bool value);
// The texts the writers store: a whole number in decimal, "Yes" or "No".
std::string ProfileIntText(int32_t value);
std::string ProfileBoolText(bool value);

// Base name: path cut to 259 characters, trimmed of blanks and control
// characters, folder part ("\", "/" or ":") dropped, text before the first ".".
std::string FileBaseName(const std::string& path);
// Folder part of a path: everything up to and including the last "\", "/"
// or ":" ("" when there is none).
std::string FileFolderPart(const std::string& path);
// The path's name (after its folder part) without its last extension: the
// text from the last "." on is cut, unless that "." is the name's first
// character (".Ark" stays whole).
std::string FileNameWithoutLastExtension(const std::string& path);
// Appends text + CR LF to the stream in one write.
void WriteTextLine(TextStream& stream, const std::string& text);
// Size in bytes, or -1 (logged with "Cannot Get File Size " when the file
// exists but its size cannot be read).
int64_t GetFileSize64(const std::string& path);

// The existing file whose name differs from the path's only in the case of
// its extension (the path itself when it exists, "" when none does): lets a
// viewer that asks for "OrloVarnel.LOG" or ".log" find "OrloVarnel.Log".
std::string FindFileIgnoringExtensionCase(const std::string& path);
