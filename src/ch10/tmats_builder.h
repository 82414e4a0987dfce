// The TMATS setup record: the G (general), R-1 (recorder) and P-1 (PCM
// format) groups as an ordered list of "code:value" lines, and the packing
// of that list into the setup packet body.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

struct arkheaderstruct;

void BuildTmatsText(std::vector<std::string>& lines, const arkheaderstruct& header);
void AddTmatsGeneralGroup(std::vector<std::string>& lines, const arkheaderstruct& header,
                          std::string& data_source_id);
void AddTmatsRecorderGroup(std::vector<std::string>& lines, const arkheaderstruct& header,
                           const std::string& data_source_id, std::string& pcm_data_link_name,
                           std::string& time_data_link_name);
void AddTmatsPcmFormatGroup(std::vector<std::string>& lines, const arkheaderstruct& header,
                            const std::string& data_source_id,
                            const std::string& pcm_data_link_name,
                            const std::string& time_data_link_name);
// Writes the body (4 zero bytes, then each line + ";" CR LF) at
// buffer[offset], growing the buffer when it is too small. Returns the body
// length in bytes.
size_t PackTmatsBody(std::vector<uint8_t>& buffer, size_t offset,
                     const std::vector<std::string>& lines);
// MM-DD-YYYY and HH:MM:SS for a year and day-of-year seconds.
void FormatTmatsDate(int32_t year, double seconds, std::string& date, std::string& time);

// Helpers shared by the TMATS groups and the conversion notes.

// The attribute name separator: "G\PN", "R-1\EV\IEE".
inline constexpr const char* kTmatsSeparator = "\\";
// Appends prefix + separator + name + ":" + value to the line list.
void AddTmatsAttribute(std::vector<std::string>& lines, const std::string& prefix,
                       const std::string& name, const std::string& value);
// The conversion clock: the year of the UTC date and the local time as
// day-of-year seconds, read now.
void ReadConversionClock(int32_t& utc_year, double& local_time_of_year);
// The G group with the conversion clock given (so that the comment line can
// be reproduced); AddTmatsGeneralGroup reads the clock and calls this.
void AddTmatsGeneralGroupAt(std::vector<std::string>& lines, const arkheaderstruct& header,
                            std::string& data_source_id, int32_t utc_year,
                            double local_time_of_year);
// Number of words the frame sync pattern takes: its length rounded up to
// whole common-length words. A common word length of 0 (or below) counts
// the pattern as one word.
int32_t TmatsSyncWordCount(int16_t sync_length_bits, int32_t common_word_length);
