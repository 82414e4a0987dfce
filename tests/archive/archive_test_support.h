// Helpers of the archive tests: headers written line by line, for texts
// the generator would not write.
#pragma once

#include <string>
#include <vector>

#include "archive/archive_reader.h"

namespace archivetest {

// The magic line, then each value line ended by `end`, then `terminator`.
inline std::string RawHeader(const std::vector<std::string>& lines, const std::string& end = "\r\n",
                             char terminator = '\n') {
  std::string text = std::string(kArchiveMagicLine) + "\r\n";
  for (const std::string& line : lines) text += line + end;
  text.push_back(terminator);
  return text;
}

}  // namespace archivetest
