// The TMATS general group ("G\"): program, document date and the one data
// source, with a comment that stamps the conversion date and time.
#include <chrono>
#include <string>

#include "archive/ark_header.h"
#include "ch10/tmats_builder.h"
#include "support/time_keeping.h"

namespace {
constexpr const char* kGeneralPrefix = "G";
constexpr const char* kDataSourceId = "GroupG_DS_Ch10Conversion";
constexpr const char* kCommentLead = "CH10 CONVERSION FROM QUORVANT ARCHIVE-> ";
}  // namespace

void ReadConversionClock(int32_t& utc_year, double& local_time_of_year) {
  const auto today = std::chrono::floor<std::chrono::days>(std::chrono::system_clock::now());
  const std::chrono::year_month_day date{today};
  utc_year = static_cast<int32_t>(static_cast<int>(date.year()));
  local_time_of_year = LocalTimeOfYear();
}

void AddTmatsGeneralGroup(std::vector<std::string>& lines, const arkheaderstruct& header,
                          std::string& data_source_id) {
  int32_t utc_year = 0;
  double local_time_of_year = 0.0;
  ReadConversionClock(utc_year, local_time_of_year);
  AddTmatsGeneralGroupAt(lines, header, data_source_id, utc_year, local_time_of_year);
}

void AddTmatsGeneralGroupAt(std::vector<std::string>& lines, const arkheaderstruct& header,
                            std::string& data_source_id, int32_t utc_year,
                            double local_time_of_year) {
  std::string converted_date;
  std::string converted_time;
  FormatTmatsDate(utc_year, local_time_of_year, converted_date, converted_time);

  std::string archive_date;
  std::string archive_time;
  FormatTmatsDate(header.ArchiveYear, header.StartTime, archive_date, archive_time);

  const std::string g = kGeneralPrefix;
  AddTmatsAttribute(lines, g, "COM", kCommentLead + converted_date + " at " + converted_time);
  AddTmatsAttribute(lines, g, "PN", "Ch10Conversion");
  AddTmatsAttribute(lines, g, "106", "07");
  AddTmatsAttribute(lines, g, "OD", archive_date);
  AddTmatsAttribute(lines, g, "RN", "1");
  AddTmatsAttribute(lines, g, "RD", archive_date);
  AddTmatsAttribute(lines, g, "RT", "1");
  AddTmatsAttribute(lines, g, std::string("POC") + kTmatsSeparator + "N", "0");
  AddTmatsAttribute(lines, g, "SC", "U");
  AddTmatsAttribute(lines, g, std::string("DSI") + kTmatsSeparator + "N", "1");
  data_source_id = kDataSourceId;
  AddTmatsAttribute(lines, g, "DSI-1", data_source_id);
  AddTmatsAttribute(lines, g, "DST-1", "DSS");
}
