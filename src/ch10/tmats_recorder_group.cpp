// The TMATS recorder group ("R-1\"): one solid-state recorder with two
// channels, channel 1 carrying time and channel 2 the PCM stream. The
// channel numbers must match the packets the Chapter 10 writer produces.
#include <string>

#include "ch10/tmats_builder.h"

namespace {

constexpr const char* kRecorderPrefix = "R-1";
constexpr const char* kTimeDataLinkName = "DLN_CH_TIME";
constexpr const char* kPcmDataLinkName = "PCM_CH_DATA";

std::string Nested(const char* outer, const char* inner) {
  return std::string(outer) + kTmatsSeparator + inner;
}

// The attributes every channel has: track number, data source, direction,
// enable, type and data link name.
void AddChannelHead(std::vector<std::string>& lines, const std::string& channel,
                    const std::string& data_source, const char* channel_type,
                    const std::string& data_link_name) {
  const std::string r = kRecorderPrefix;
  AddTmatsAttribute(lines, r, "TK1-" + channel, channel);
  AddTmatsAttribute(lines, r, "TK2-" + channel, "SSR");
  AddTmatsAttribute(lines, r, "DSI-" + channel, data_source);
  AddTmatsAttribute(lines, r, "TK3-" + channel, "FWD");
  AddTmatsAttribute(lines, r, "TK4-" + channel, channel);
  AddTmatsAttribute(lines, r, "CHE-" + channel, "T");
  AddTmatsAttribute(lines, r, "CDT-" + channel, channel_type);
  AddTmatsAttribute(lines, r, "CDLN-" + channel, data_link_name);
}

}  // namespace

void AddTmatsRecorderGroup(std::vector<std::string>& lines, const arkheaderstruct& /*header*/,
                           const std::string& data_source_id, std::string& pcm_data_link_name,
                           std::string& time_data_link_name) {
  const std::string r = kRecorderPrefix;
  AddTmatsAttribute(lines, r, "ID", data_source_id);
  AddTmatsAttribute(lines, r, "RID", "Recorder1");
  AddTmatsAttribute(lines, r, "RI1", "Quorvant");
  AddTmatsAttribute(lines, r, "RI2", "CustomRecorder");
  AddTmatsAttribute(lines, r, "RI3", "N");
  AddTmatsAttribute(lines, r, "TC1", "SSR");
  AddTmatsAttribute(lines, r, "RRML", "I");
  AddTmatsAttribute(lines, r, "NSB", "4");
  AddTmatsAttribute(lines, r, "RI6", "Y");
  AddTmatsAttribute(lines, r, "CRE", "T");
  AddTmatsAttribute(lines, r, "RSS", "C");
  AddTmatsAttribute(lines, r, Nested("EV", "E"), "F");
  AddTmatsAttribute(lines, r, Nested("EV", "N"), "0");
  AddTmatsAttribute(lines, r, Nested("EV", "IEE"), "F");
  AddTmatsAttribute(lines, r, Nested("IDX", "E"), "F");
  AddTmatsAttribute(lines, r, Nested("IDX", "IT"), "C");
  AddTmatsAttribute(lines, r, Nested("IDX", "ICV"), "1");
  AddTmatsAttribute(lines, r, "N", "2");

  // Channel 1: time.
  time_data_link_name = kTimeDataLinkName;
  AddChannelHead(lines, "1", "1", "TIMEIN", time_data_link_name);
  AddTmatsAttribute(lines, r, "TTF-1", "1");
  AddTmatsAttribute(lines, r, "TFMT-1", "B");
  AddTmatsAttribute(lines, r, "TSRC-1", "I");

  // Channel 2: PCM in throughput mode.
  pcm_data_link_name = kPcmDataLinkName;
  AddChannelHead(lines, "2", "2", "PCMIN", pcm_data_link_name);
  AddTmatsAttribute(lines, r, "PDTF-2", "1");
  AddTmatsAttribute(lines, r, "PDP-2", "TM");
  AddTmatsAttribute(lines, r, "ICE-2", "0");
  AddTmatsAttribute(lines, r, "PTF-2", "NONE");
  AddTmatsAttribute(lines, r, Nested("MFF", "E-2"), "F");
  AddTmatsAttribute(lines, r, Nested("POF", "E-2"), "F");
}
