#include "cli/cli_progress.h"

#include "archive/archive_reader.h"
#include "ch10/ch10_converter.h"
#include "pack/pack_converter.h"
#include "shell/progress_texts.h"
#include "support/text_format.h"

namespace {

constexpr auto kRedrawInterval = std::chrono::milliseconds(100);

}  // namespace

cliprogressclass::cliprogressclass(std::FILE* out, bool quiet, bool terminal)
    : out_(out), quiet_(quiet), terminal_(terminal) {}

void cliprogressclass::Begin(const std::string& archive_name) {
  archive_name_ = archive_name;
  last_pass_ = ConversionPass::None;
  last_tenth_ = -1;
  line_drawn_ = false;
  last_draw_ = std::chrono::steady_clock::time_point();
}

std::string cliprogressclass::FormatLine(const conversiondriverclass& driver,
                                         double& percent) const {
  const orloarkclass* archive = driver.Archive();
  const orloarkpackclass* pack = driver.Pack();
  const ch10convertprocessclass* cvt = driver.Converter();
  // One pass: the archive bytes read measure the progress of both outputs.
  const double frames = pack ? pack->TotalFrameCount() : 0.0;
  const double packets =
      cvt ? static_cast<double>(cvt->PcmPacketCount() + cvt->TimePacketCount()) : 0.0;
  const double time = cvt ? cvt->CurrentArchiveTime() : 0.0;
  percent = archive ? ProgressPercent(static_cast<double>(archive->FilePosition()),
                                      static_cast<double>(archive->FileSize()))
                    : 0.0;
  return archive_name_ + "  " + FormatFixedNumber(16, 1, percent) + "%  frames " +
         FormatFixedNumber(16, 0, frames) +
         "  packets " + FormatFixedNumber(16, 0, packets) + "  archive time " +
         FormatDayTimeMilli(time);
}

void cliprogressclass::Update(const conversiondriverclass& driver) {
  if (quiet_ || driver.Pass() == ConversionPass::None) return;
  auto now = std::chrono::steady_clock::now();
  if (terminal_) {
    if (line_drawn_ && now - last_draw_ < kRedrawInterval) return;
    double percent = 0.0;
    std::string line = FormatLine(driver, percent);
    std::fprintf(out_, "\r%s\033[K", line.c_str());
    std::fflush(out_);
    line_drawn_ = true;
    last_draw_ = now;
    return;
  }
  double percent = 0.0;
  std::string line = FormatLine(driver, percent);
  int tenth = static_cast<int>(percent / 10.0);
  if (driver.Pass() == last_pass_ && tenth <= last_tenth_) return;
  last_pass_ = driver.Pass();
  last_tenth_ = tenth;
  std::fprintf(out_, "%s\n", line.c_str());
  std::fflush(out_);
}

void cliprogressclass::End(const std::string& outcome_text) {
  if (quiet_) return;
  if (!terminal_) {
    std::fprintf(out_, "%s  %s\n", archive_name_.c_str(), outcome_text.c_str());
    std::fflush(out_);
    return;
  }
  if (!line_drawn_) return;
  std::fprintf(out_, "\r\033[K");
  std::fflush(out_);
  line_drawn_ = false;
}
