// The check of an archive header's frame rate against the archive's first
// frame times, made when the archive is opened.
#pragma once

#include <cstdint>

// What the first frame times of an archive say about its header's frame
// rate. The rate is contradicted when no step between consecutive times
// lies within a factor of two of the period (P / 2 to 2P), while at least
// half of the steps agree (within half a step) with the median of the
// positive ones: the frames show a steady rate of their own. A few lost
// frames or damaged stamps leave most steps at P (or 2P for every other
// frame lost), so they never contradict the rate. Fewer than 3 steps, or
// steps that show no steady rate, contradict nothing.
struct frameratecheckstruct {
  bool contradicted = false;
  double shown_rate = 0.0;    // Hz, the rate the steps show (when contradicted)
  int64_t steps = 0;          // steps looked at
};
frameratecheckstruct CheckHeaderFrameRate(const double* times, int64_t count, double header_rate);
