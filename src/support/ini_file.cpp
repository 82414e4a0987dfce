#include "support/ini_file.h"

#include "support/platform_file.h"

namespace {

bool IsSectionHeader(const std::string& trimmed) {
  return trimmed.size() >= 2 && trimmed.front() == '[' && trimmed.find(']') != std::string::npos;
}

std::string SectionName(const std::string& trimmed) {
  return TrimBlanks(trimmed.substr(1, trimmed.find(']') - 1));
}

bool IsComment(const std::string& trimmed) { return !trimmed.empty() && trimmed[0] == ';'; }

}  // namespace

std::string TrimBlanks(const std::string& text) {
  size_t first = text.find_first_not_of(" \t");
  if (first == std::string::npos) return std::string();
  size_t last = text.find_last_not_of(" \t");
  return text.substr(first, last - first + 1);
}

bool IniFile::Load(const std::string& path) {
  lines_.clear();
  PlatformFile file;
  if (!file.OpenRead(path)) return false;
  std::string content;
  char buffer[65536];
  for (;;) {
    int64_t got = file.Read(buffer, sizeof buffer);
    if (got <= 0) {
      // Half a file read as a whole one would lose the rest at the next save.
      if (file.LastError() != 0) return false;
      break;
    }
    content.append(buffer, static_cast<size_t>(got));
  }
  size_t start = 0;
  while (start < content.size()) {
    size_t end = content.find('\n', start);
    if (end == std::string::npos) end = content.size();
    std::string line = content.substr(start, end - start);
    if (!line.empty() && line.back() == '\r') line.pop_back();
    lines_.push_back(line);
    start = end + 1;
  }
  return true;
}

long IniFile::FindSection(const std::string& section) const {
  std::string wanted = TrimBlanks(section);
  for (size_t i = 0; i < lines_.size(); ++i) {
    std::string trimmed = TrimBlanks(lines_[i]);
    if (IsSectionHeader(trimmed) && SectionName(trimmed) == wanted) return static_cast<long>(i);
  }
  return -1;
}

long IniFile::FindKey(long header, const std::string& key) const {
  std::string wanted = TrimBlanks(key);
  for (size_t i = static_cast<size_t>(header) + 1; i < lines_.size(); ++i) {
    std::string trimmed = TrimBlanks(lines_[i]);
    if (IsSectionHeader(trimmed)) break;
    if (IsComment(trimmed)) continue;
    size_t eq = trimmed.find('=');
    if (eq == std::string::npos) continue;
    if (TrimBlanks(trimmed.substr(0, eq)) == wanted) return static_cast<long>(i);
  }
  return -1;
}

bool IniFile::Find(const std::string& section, const std::string& key, std::string& value) const {
  long header = FindSection(section);
  if (header < 0) return false;
  long at = FindKey(header, key);
  if (at < 0) return false;
  const std::string& line = lines_[static_cast<size_t>(at)];
  value = TrimBlanks(line.substr(line.find('=') + 1));
  return true;
}

void IniFile::Set(const std::string& section, const std::string& key, const std::string& value) {
  std::string entry = TrimBlanks(key) + "=" + value;
  long header = FindSection(section);
  if (header < 0) {
    if (!lines_.empty() && !TrimBlanks(lines_.back()).empty()) lines_.push_back(std::string());
    // Built by appending: GCC 12 at -O3 warns falsely (-Wrestrict) on
    // "[" + std::string&&.
    std::string heading(1, '[');
    heading += TrimBlanks(section);
    heading += ']';
    lines_.push_back(heading);
    lines_.push_back(entry);
    return;
  }
  long at = FindKey(header, key);
  if (at >= 0) {
    lines_[static_cast<size_t>(at)] = entry;
    return;
  }
  // After the section's last non-blank line, before the blank lines that
  // separate it from the next section.
  size_t insert = static_cast<size_t>(header) + 1;
  for (size_t i = insert; i < lines_.size(); ++i) {
    std::string trimmed = TrimBlanks(lines_[i]);
    if (IsSectionHeader(trimmed)) break;
    if (!trimmed.empty()) insert = i + 1;
  }
  lines_.insert(lines_.begin() + static_cast<long>(insert), entry);
}

bool IniFile::Save(const std::string& path) const {
  std::string content;
  for (const std::string& line : lines_) {
    content += line;
    content += "\r\n";
  }
  // Written to a file of its own beside the profile and renamed over it: a
  // failed write never leaves a half-written profile behind, parallel
  // savers never write into each other's file, and a link at either name is
  // never written through.
  return ReplaceFileWhole(path, content.data(), static_cast<int64_t>(content.size()));
}
