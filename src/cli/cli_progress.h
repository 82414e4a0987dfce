// The command line's progress display on standard error: percent, frames,
// packets and archive time of the pass in progress. On a terminal one line
// is redrawn in place; otherwise a plain line is written at each tenth of a
// pass, so that logs of batch runs stay short.
#pragma once

#include <chrono>
#include <cstdio>
#include <string>

#include "shell/conversion_driver.h"

class cliprogressclass {
 public:
  cliprogressclass(std::FILE* out, bool quiet, bool terminal);

  void Begin(const std::string& archive_name);
  // Called from the driver's event pump; cheap when nothing is due.
  void Update(const conversiondriverclass& driver);
  // Removes the redrawn line before the archive's summary; written to a
  // pipe or file, the progress ends with a line that names the outcome.
  void End(const std::string& outcome_text);

 private:
  std::string FormatLine(const conversiondriverclass& driver, double& percent) const;

  std::FILE* out_;
  bool quiet_;
  bool terminal_;
  std::string archive_name_;
  ConversionPass last_pass_ = ConversionPass::None;
  int last_tenth_ = -1;
  bool line_drawn_ = false;
  std::chrono::steady_clock::time_point last_draw_;
};
