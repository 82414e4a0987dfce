#include "info/time_line_svg.h"

#include <algorithm>
#include <cerrno>
#include <cmath>
#include <cstdio>
#include <vector>

#include "support/text_format.h"

namespace {

constexpr double kWidth = 1200.0;
constexpr double kBarLeft = 40.0;
constexpr double kBarRight = 1160.0;
constexpr double kBarTop = 70.0;
constexpr double kBarHeight = 40.0;
constexpr int kTicks = 6;

std::string XmlText(const std::string& text) {
  std::string out;
  for (const char c : EscapeControlCharacters(text)) {
    switch (c) {
      case '&': out += "&amp;"; break;
      case '<': out += "&lt;"; break;
      case '>': out += "&gt;"; break;
      case '"': out += "&quot;"; break;
      case '\'': out += "&apos;"; break;
      default: out += c;
    }
  }
  return out;
}

std::string Num(double v) {
  char buffer[32];
  std::snprintf(buffer, sizeof buffer, "%.2f", v);
  return buffer;
}

// DDD:HH:MM:SS of a time of the year.
std::string AxisTime(double t) { return FormatDayTimeMicro(t).substr(0, 12); }

}  // namespace

std::string TimeLineSvg(const archiveinfostruct& info) {
  const double start = std::min(info.start_time, info.first_frame_time);
  const double stop = std::max({info.stop_time, info.last_frame_time + info.frame_period, start + 1e-6});
  const double scale = (kBarRight - kBarLeft) / (stop - start);
  auto x_of = [&](double t) { return kBarLeft + std::clamp((t - start) * scale, 0.0, kBarRight - kBarLeft); };

  std::vector<timelinespanstruct> spans;
  double last_column = -1.0;  // the pixel column the last span ends in
  for (const archivegapstruct& g : info.gap_list) {
    const double x0 = x_of(g.time - static_cast<double>(g.fill_frames) * info.frame_period);
    const double x1 = x_of(g.time);
    // Gaps that share a pixel column are one element.
    if (!spans.empty() && std::floor(x0) <= last_column) {
      timelinespanstruct& s = spans.back();
      s.width = std::max(s.width, x1 - s.x);
      s.fill_frames += g.fill_frames;
      ++s.gaps;
    } else {
      spans.push_back({x0, x1 - x0, g.fill_frames, 1});
    }
    last_column = std::max(last_column, std::floor(std::max(x1 - 1e-9, x0)));
  }
  // Each at least a pixel wide, and not over the next.
  for (size_t k = 0; k < spans.size(); ++k) {
    const double room = k + 1 < spans.size() ? spans[k + 1].x - spans[k].x : kBarRight - spans[k].x;
    spans[k].width = std::max(spans[k].width, std::min(1.0, std::max(room, 0.25)));
  }
  std::vector<double> marks;
  for (const double t : info.damaged_times) {
    const double x = std::floor(x_of(t));
    if (marks.empty() || x > marks.back()) marks.push_back(x);
  }

  const std::string name = info.path.substr(info.path.find_last_of('/') + 1);
  std::string svg;
  svg += "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n";
  svg += "<svg xmlns=\"http://www.w3.org/2000/svg\" width=\"1200\" height=\"180\" viewBox=\"0 0 1200 180\" "
         "font-family=\"sans-serif\" font-size=\"12\">\n";
  svg += "<title>" + XmlText(name) + "</title>\n";
  svg += "<rect width=\"1200\" height=\"180\" fill=\"#ffffff\"/>\n";
  svg += "<text x=\"" + Num(kBarLeft) + "\" y=\"24\" font-size=\"16\" font-weight=\"bold\">" + XmlText(name) +
         "</text>\n";
  svg += "<text x=\"" + Num(kBarLeft) + "\" y=\"46\">" +
         XmlText(std::to_string(info.archive_frames) + " frames, " + std::to_string(info.fill_frames) +
                 " fill frames in " + std::to_string(info.filled_gaps) + " gaps, " +
                 std::to_string(info.damaged_stamps) + " damaged stamps") +
         "</text>\n";
  svg += "<rect class=\"frames\" x=\"" + Num(kBarLeft) + "\" y=\"" + Num(kBarTop) + "\" width=\"" +
         Num(kBarRight - kBarLeft) + "\" height=\"" + Num(kBarHeight) + "\" fill=\"#2e7d32\"/>\n";
  for (const timelinespanstruct& s : spans) {
    svg += "<rect class=\"gap\" x=\"" + Num(s.x) + "\" y=\"" + Num(kBarTop) + "\" width=\"" + Num(s.width) +
           "\" height=\"" + Num(kBarHeight) + "\" fill=\"#ef6c00\" fill-opacity=\"" +
           // How much of its width was lost: a pixel with one lost frame
           // in it is drawn fainter than one with nothing else.
           Num(std::clamp(static_cast<double>(s.fill_frames) * info.frame_period * scale / s.width, 0.3, 1.0)) +
           "\"><title>" +
           XmlText(std::to_string(s.fill_frames) + " fill frames" +
                   (s.gaps > 1 ? " in " + std::to_string(s.gaps) + " gaps" : "")) +
           "</title></rect>\n";
  }
  for (const double x : marks) {
    svg += "<line class=\"damaged\" x1=\"" + Num(x + 0.5) + "\" x2=\"" + Num(x + 0.5) + "\" y1=\"" +
           Num(kBarTop - 10) + "\" y2=\"" + Num(kBarTop) + "\" stroke=\"#c62828\" stroke-width=\"1\"/>\n";
  }
  for (int k = 0; k <= kTicks; ++k) {
    const double x = kBarLeft + (kBarRight - kBarLeft) * k / kTicks;
    const double t = start + (stop - start) * k / kTicks;
    const char* anchor = k == 0 ? "start" : k == kTicks ? "end" : "middle";
    svg += "<line x1=\"" + Num(x) + "\" x2=\"" + Num(x) + "\" y1=\"" + Num(kBarTop + kBarHeight) + "\" y2=\"" +
           Num(kBarTop + kBarHeight + 6) + "\" stroke=\"#000000\"/>\n";
    svg += "<text x=\"" + Num(x) + "\" y=\"" + Num(kBarTop + kBarHeight + 20) + "\" text-anchor=\"" + anchor +
           "\">" + AxisTime(t) + "</text>\n";
  }
  const double legend_y = 165;
  svg += "<rect x=\"40\" y=\"" + Num(legend_y - 10) + "\" width=\"12\" height=\"12\" fill=\"#2e7d32\"/>"
         "<text x=\"58\" y=\"" + Num(legend_y) + "\">frames</text>\n";
  svg += "<rect x=\"130\" y=\"" + Num(legend_y - 10) + "\" width=\"12\" height=\"12\" fill=\"#ef6c00\"/>"
         "<text x=\"148\" y=\"" + Num(legend_y) + "\">filled gap</text>\n";
  svg += "<line x1=\"246\" x2=\"246\" y1=\"" + Num(legend_y - 10) + "\" y2=\"" + Num(legend_y + 2) +
         "\" stroke=\"#c62828\" stroke-width=\"2\"/><text x=\"254\" y=\"" + Num(legend_y) +
         "\">damaged stamp</text>\n";
  svg += "</svg>\n";
  return svg;
}

bool WriteTimeLineSvg(const archiveinfostruct& info, const std::string& path, int& error_number) {
  const std::string text = TimeLineSvg(info);
  const std::string writing = path + ".converting";
  error_number = 0;
  FILE* f = std::fopen(writing.c_str(), "wbx");
  if (f == nullptr) {
    error_number = errno;
    return false;
  }
  const bool written = std::fwrite(text.data(), 1, text.size(), f) == text.size();
  if (!written) error_number = errno != 0 ? errno : EIO;
  if (std::fclose(f) != 0 && error_number == 0) error_number = errno;
  if (error_number == 0 && std::rename(writing.c_str(), path.c_str()) != 0) error_number = errno;
  if (error_number != 0) std::remove(writing.c_str());
  return error_number == 0;
}
