// Profile values by section and key, and the file helpers built on the
// base-name rule.
#include "support/profile_files.h"

#include <cctype>
#include <cerrno>
#include <filesystem>

#include "support/error_log.h"
#include "support/ini_file.h"
#include "support/platform_file.h"
#include "support/text_format.h"
#include "support/text_stream.h"

namespace {

const char kMissingSentinel[] = "BOGUS SECTION or KEY";
constexpr size_t kMaxValueLength = 1023;
constexpr size_t kMaxBaseNameInput = 259;

bool IsFolderSeparator(char c) { return c == '\\' || c == '/' || c == ':'; }

}  // namespace

bool ProfileReadText(const std::string& path, const std::string& section, const std::string& key,
                     std::string& value) {
  IniFile ini;
  std::string text;
  if (!ini.Load(path) || !ini.Find(section, key, text)) return false;
  if (text.size() > kMaxValueLength) text.resize(kMaxValueLength);
  // A value that is literally the sentinel reads as missing.
  if (text == kMissingSentinel) return false;
  value = text;
  return true;
}

bool ProfileReadInt(const std::string& path, const std::string& section, const std::string& key,
                    int32_t& value) {
  std::string text;
  if (!ProfileReadText(path, section, key, text)) return false;
  int32_t parsed = 0;
  if (!ParseDecimalInt(text, parsed)) return false;
  value = parsed;
  return true;
}

bool ProfileReadBool(const std::string& path, const std::string& section, const std::string& key,
                     bool& value) {
  std::string text;
  if (!ProfileReadText(path, section, key, text)) return false;
  value = (text == "YES");
  return true;
}

bool ProfileWriteText(const std::string& path, const std::string& section, const std::string& key,
                      const std::string& value) {
  IniFile ini;
  // A missing file starts empty; one that exists but cannot be read is not
  // replaced by this one key.
  if (!ini.Load(path) && FileExists(path)) return false;
  ini.Set(section, key, value);
  return ini.Save(path);
}

bool ProfileWriteInt(const std::string& path, const std::string& section, const std::string& key,
                     int32_t value) {
  return ProfileWriteText(path, section, key, ProfileIntText(value));
}

bool ProfileWriteBool(const std::string& path, const std::string& section, const std::string& key,
                      bool value) {
  return ProfileWriteText(path, section, key, ProfileBoolText(value));
}

std::string ProfileIntText(int32_t value) { return FormatFixedNumber(16, 0, value); }

std::string ProfileBoolText(bool value) { return YesNoText(value); }

std::string FileBaseName(const std::string& path) {
  std::string text = path.size() > kMaxBaseNameInput ? path.substr(0, kMaxBaseNameInput) : path;
  size_t first = 0;
  while (first < text.size() && static_cast<unsigned char>(text[first]) <= 32) ++first;
  size_t last = text.size();
  while (last > first && static_cast<unsigned char>(text[last - 1]) <= 32) --last;
  text = text.substr(first, last - first);
  size_t separator = std::string::npos;
  for (size_t i = 0; i < text.size(); ++i) {
    if (IsFolderSeparator(text[i])) separator = i;
  }
  if (separator != std::string::npos) text = text.substr(separator + 1);
  size_t dot = text.find('.');
  return dot == std::string::npos ? text : text.substr(0, dot);
}

std::string FileFolderPart(const std::string& path) {
  for (size_t i = path.size(); i > 0; --i) {
    if (IsFolderSeparator(path[i - 1])) return path.substr(0, i);
  }
  return std::string();
}

std::string FileNameWithoutLastExtension(const std::string& path) {
  std::string name = path.substr(FileFolderPart(path).size());
  const size_t dot = name.rfind('.');
  if (dot != std::string::npos && dot > 0) name.resize(dot);
  return name;
}

std::string FindFileIgnoringExtensionCase(const std::string& path) {
  if (FileExists(path)) return path;
  std::string folder = FileFolderPart(path);
  std::string name = path.substr(folder.size());
  size_t dot = name.rfind('.');
  if (dot == std::string::npos) return std::string();
  std::string stem = name.substr(0, dot + 1);
  std::string extension = name.substr(dot + 1);
  auto same_ignoring_case = [](const std::string& a, const std::string& b) {
    if (a.size() != b.size()) return false;
    for (size_t i = 0; i < a.size(); ++i) {
      if (std::tolower(static_cast<unsigned char>(a[i])) !=
          std::tolower(static_cast<unsigned char>(b[i]))) {
        return false;
      }
    }
    return true;
  };
  std::error_code ec;
  std::filesystem::directory_iterator it(folder.empty() ? std::string(".") : folder, ec);
  if (ec) return std::string();
  std::string found;
  for (const auto& entry : it) {
    std::string candidate = entry.path().filename().string();
    if (candidate.size() != name.size() || candidate.compare(0, stem.size(), stem) != 0) continue;
    if (!same_ignoring_case(candidate.substr(stem.size()), extension)) continue;
    if (!FileExists(folder + candidate)) continue;
    // Several spellings may exist; the first in name order is taken so the
    // choice does not depend on the folder's listing order.
    if (found.empty() || candidate < found) found = candidate;
  }
  return found.empty() ? std::string() : folder + found;
}

void WriteTextLine(TextStream& stream, const std::string& text) { stream.Write(text + "\r\n"); }

int64_t GetFileSize64(const std::string& path) {
  if (!FileExists(path)) return -1;
  PlatformFile file;
  int64_t size = -1;
  int error = 0;
  if (file.OpenRead(path)) {
    errno = 0;
    size = file.Size();
    if (size < 0) error = errno;
  } else {
    error = file.LastError();
  }
  if (size < 0) {
    LogInfo("Cannot Get File Size " + SystemErrorText(error), error, false);
    return -1;
  }
  return size;
}
