// Where fill frames go, for the self-check: the judgement of one archive
// frame's time against the frame before it, made by the same rule as the
// packed-bit pass so that the check expects fill frames exactly where they
// belong. Kept in this one place so that the rule has one home here.
#pragma once

#include <cstdint>
#include <optional>

struct filldecisionstruct {
  int64_t fill_frames = 0;  // fill frames that go before the frame
  double reference = 0.0;   // the time the next frame is measured from
};

// reference: the time the previous frame is taken to have; next_time: the
// time of the frame after this one (none for the archive's last frame);
// span_limit: the longest step that may be filled (archive stop - start + one
// block). A step of m >= 2 frame periods means m - 1 frames are missing; a
// step within half a period of one period, a repeated or a backward time
// loses nothing.
filldecisionstruct DecideFill(double reference, double frame_time, std::optional<double> next_time,
                              double period, double span_limit);

// The reference of the archive's first frame t0, given the next two frame
// times when they lie in the first block: t0 - P, so the first frame opens
// no gap.
double FirstFrameReferenceTime(double t0, std::optional<double> t1, std::optional<double> t2,
                               double period, double stop_time, double block_duration);
