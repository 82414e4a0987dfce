// Assembles the TMATS text from its three groups and packs the line list
// into the setup packet body.
#include "ch10/tmats_builder.h"

#include <cstring>
#include <utility>

void AddTmatsAttribute(std::vector<std::string>& lines, const std::string& prefix,
                       const std::string& name, const std::string& value) {
  std::string line;
  line.reserve(prefix.size() + name.size() + value.size() + 2);
  line += prefix;
  line += kTmatsSeparator;
  line += name;
  line += ':';
  line += value;
  lines.push_back(std::move(line));
}

void BuildTmatsText(std::vector<std::string>& lines, const arkheaderstruct& header) {
  std::string data_source_id;
  std::string pcm_data_link_name;
  std::string time_data_link_name;
  AddTmatsGeneralGroup(lines, header, data_source_id);
  AddTmatsRecorderGroup(lines, header, data_source_id, pcm_data_link_name, time_data_link_name);
  AddTmatsPcmFormatGroup(lines, header, data_source_id, pcm_data_link_name, time_data_link_name);
}

// Body: a 4-byte channel-specific word of zeros, then every line followed
// by ";" CR LF. The whole length is known before copying, so the buffer is
// grown once (a P group with thousands of word-length exceptions can run to
// hundreds of kilobytes) and never written past its end.
size_t PackTmatsBody(std::vector<uint8_t>& buffer, size_t offset,
                     const std::vector<std::string>& lines) {
  size_t length = 4;
  for (const std::string& line : lines) length += line.size() + 3;
  if (buffer.size() < offset + length) buffer.resize(offset + length);

  uint8_t* out = buffer.data() + offset;
  std::memset(out, 0, 4);
  size_t at = 4;
  for (const std::string& line : lines) {
    if (!line.empty()) std::memcpy(out + at, line.data(), line.size());
    at += line.size();
    out[at++] = ';';
    out[at++] = '\r';
    out[at++] = '\n';
  }
  return length;
}
