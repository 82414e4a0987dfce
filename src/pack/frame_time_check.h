// The judgement of one archive frame's time against its neighbours: does the
// step from the previous frame show lost frames (fill them), or is the
// frame's own time stamp damaged (keep the frame in its place, fill nothing)?
//
// Every time is seconds of the year. P is the frame period, H = P / 2.
//   reference  the time the previous frame was taken to have (for the first
//              frame of the archive: FirstFrameReference, below)
//   frame_time the time decoded from this frame's header
//   next_time  the time decoded from the frame after it in the archive (the
//              first frame of the next block for a block's last frame), or
//              none for the archive's last frame
//   span_limit the longest step that may be filled: the archive's stop time
//              minus its start time plus one block duration (FillSpanLimit;
//              frames per block x P is the block duration)
//
// Rules, with dT = frame_time - reference:
//   1. P - H <= dT <= P + H: in step. No fill; the reference becomes
//      frame_time.
//   2. Otherwise the frame is out of step. It is damaged (no fill, the
//      reference becomes reference + P, the frame stays where it is) when
//      dT is not a finite number, when |dT| > span_limit, or when next_time
//      lies within H of reference + 2P (bounds included): the frame after
//      it is where this frame's successor belongs, so only this stamp is off.
//   3. Otherwise the time base really moved: m = RoundToInt(dT / P) (an
//      exact half goes down); m >= 2 fills m - 1 frames before the frame,
//      m <= 1 fills none; the reference becomes frame_time.
// The fill frames of rule 3 go into the stream directly before the frame;
// a frame of rule 1 or 2 has none before it.
// The converter walks the archive with these rules, the first frame's
// reference coming from FirstFrameReference (below). Then no step fills
// more than span_limit worth of frames, and one damaged stamp fills nothing
// unless it is on the archive's last frame (which has no successor to be
// judged by: its step counts as lost frames, up to span_limit).
#pragma once

#include <cstdint>
#include <optional>

enum class FrameTimeVerdict {
  InStep,     // rule 1
  Damaged,    // rule 2: kept in place, logged as out of step
  Gap,        // rule 3: logged as a gap (also when nothing is filled)
};

struct frametimedecision {
  FrameTimeVerdict verdict = FrameTimeVerdict::InStep;
  int64_t steps = 1;          // m of rule 3 (1 for the other verdicts)
  int64_t fill_frames = 0;    // fill frames to insert before the frame
  double reference = 0.0;     // the reference for the next frame
  double step = 0.0;          // dT
};

frametimedecision JudgeFrameTime(double reference, double frame_time,
                                 std::optional<double> next_time, double period,
                                 double span_limit);

// The span limit of an archive: stop - start (as the notes show them) plus
// one block duration; never below one block duration.
double FillSpanLimit(double start_time, double stop_time, double block_duration);

// The reference for the archive's first frame (t0), given the next two
// frames' times when they are in the first block. Normally t0 - P: the
// first frame opens no gap. When t1 and t2 are in step with each other but
// t1 lies further from t0 than the whole rest of the archive
// (FillSpanLimit(t1 - P, stop_time, block_duration)), the first stamp is
// the damaged one: the reference is then t1 - 2P, so that JudgeFrameTime
// keeps the first frame in place, and the converter measures its span limit
// from t1 - P instead of the damaged start time.
double FirstFrameReference(double t0, std::optional<double> t1, std::optional<double> t2,
                           double period, double stop_time, double block_duration);
