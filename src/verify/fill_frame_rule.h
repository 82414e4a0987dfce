// Where fill frames go, for the self-check: each archive frame's time judged
// against the frame before it and the frame after it, by the same judgement
// as the packed-bit pass (pack/frame_time_check), so that the check expects
// fill frames exactly where they belong and damaged time stamps kept in
// place without fill. The packing itself stays the check's own.
#pragma once

#include <cstdint>
#include <optional>

struct filldecisionstruct {
  int64_t fill_frames = 0;  // fill frames that go before the frame
  double reference = 0.0;   // the time the next frame is measured from
};

// reference: the time the previous frame is taken to have; next_time: the
// time of the frame after this one (none for the archive's last frame);
// span_limit: the longest step that may be filled.
filldecisionstruct DecideFill(double reference, double frame_time, std::optional<double> next_time,
                              double period, double span_limit);

// The reference of the archive's first frame t0, given the next two frame
// times when they lie in the first block (normally t0 - P: the first frame
// opens no gap).
double FirstFrameReferenceTime(double t0, std::optional<double> t1, std::optional<double> t2,
                               double period, double stop_time, double block_duration);

// The longest step that may be filled, measured from `start_time`.
double FillSpan(double start_time, double stop_time, double block_duration);
