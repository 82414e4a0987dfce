// A small INI reader and writer for the profile files: "[section]" lines
// followed by "key=value" lines. Sections and keys match exactly as given
// (surrounding blanks ignored); values come back without surrounding blanks.
// Lines are written with CR LF ends.
#pragma once

#include <string>
#include <vector>

class IniFile {
 public:
  // Loads the file; false when it cannot be opened or read.
  bool Load(const std::string& path);
  // True and the value when the key is present in the section.
  bool Find(const std::string& section, const std::string& key, std::string& value) const;
  // Sets the key, adding the section and key when they are missing.
  void Set(const std::string& section, const std::string& key, const std::string& value);
  // Replaces the whole file at once (through a temporary file renamed over
  // it, see ReplaceFileWhole); false, with errno set and the old file
  // unchanged, when any step fails.
  bool Save(const std::string& path) const;

  const std::vector<std::string>& Lines() const { return lines_; }

 private:
  // Index of the section's header line, or -1.
  long FindSection(const std::string& section) const;
  // Index of the key's line within the section starting after header, or -1.
  long FindKey(long header, const std::string& key) const;

  std::vector<std::string> lines_;
};

// Text without leading and trailing blanks and tabs.
std::string TrimBlanks(const std::string& text);
