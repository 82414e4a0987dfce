// Padding, trimming, replacing and searching of plain texts.
#include "support/text_edit.h"

std::string PadLeft(int width, char fill, const std::string& text) {
  if (width <= 0) return std::string();
  size_t w = static_cast<size_t>(width);
  if (text.size() >= w) return text.substr(0, w);
  return std::string(w - text.size(), fill) + text;
}

std::string PadRight(int width, char fill, const std::string& text) {
  if (width <= 0) return std::string();
  size_t w = static_cast<size_t>(width);
  if (text.size() >= w) return text.substr(0, w);
  return text + std::string(w - text.size(), fill);
}

std::string RemoveChar(char c, const std::string& text) {
  std::string result;
  result.reserve(text.size());
  for (char t : text) {
    if (t != c) result.push_back(t);
  }
  return result;
}

std::string TrimLeadingChar(char c, const std::string& text) {
  size_t first = text.find_first_not_of(c);
  return first == std::string::npos ? std::string() : text.substr(first);
}

std::string TrimTrailingChar(std::string& text, char c) {
  size_t last = text.find_last_not_of(c);
  std::string trimmed = (last == std::string::npos) ? std::string() : text.substr(0, last + 1);
  if (trimmed.size() != text.size()) text = trimmed;
  return trimmed;
}

std::string ReplaceChar(std::string& text, char from, char to, bool trim) {
  std::string copy = text;
  if (trim) TrimTrailingChar(copy, from);
  for (char& c : copy) {
    if (c == from) c = to;
  }
  if (!copy.empty()) text = copy;
  return copy;
}

std::string TextBefore(const std::string& text, const std::string& search) {
  if (search.empty()) return std::string();
  size_t at = text.find(search);
  return at == std::string::npos ? std::string() : text.substr(0, at);
}

std::string TextAfter(const std::string& text, const std::string& search) {
  if (search.empty()) return std::string();
  size_t at = text.find(search);
  return at == std::string::npos ? std::string() : text.substr(at + search.size());
}

std::string YesNoText(bool flag) { return flag ? "YES" : "NO"; }
