// The judgement of one archive frame's time against its neighbours: does the
// step from the previous frame show lost frames (fill them), a time base
// that moved, or is the frame's own time stamp damaged (keep the frame in
// its place, fill nothing)?
//
// Every time is seconds of the year. P is the frame period, H = P / 2.
//   reference  the time the previous frame was taken to have (for the first
//              frame of the archive: FirstFrameReference, below)
//   frame_time the time decoded from this frame's header
//   next_time  the time decoded from the frame after it in the archive (the
//              first frame of the next block for a block's last frame), or
//              none for the archive's last frame
//   span_limit the longest unconfirmed step that may be filled: the
//              archive's stop time minus its start time plus one block
//              duration (FillSpanLimit; frames per block x P is the block
//              duration)
//   fill_room  how many fill frames the run may still write (FillBudget
//              less the fill frames written so far)
//
// Rules, with dT = frame_time - reference:
//   1. P - H <= dT <= P + H: in step. No fill; the reference becomes
//      frame_time.
//   2. Otherwise the frame is out of step, and the frame after it decides.
//      When next_time lies within H of reference + 2P (bounds included),
//      the next frame is where this frame's successor belongs: only this
//      stamp is off. Damaged: no fill, the reference becomes reference + P,
//      the frame stays where it is.
//   3. When next_time lies within H of frame_time + P, the next frame
//      confirms the step: the time base really moved, however far. Gap.
//   4. Unconfirmed (no next frame, or one in step with neither): damaged
//      when dT is not a finite number or |dT| > span_limit (no real loss is
//      longer than the archive); otherwise a gap (frames lost, possibly
//      more right after).
//   A gap: m = RoundToInt(dT / P) (an exact half goes down); m >= 2 fills
//   m - 1 frames before the frame, cut to fill_room; m <= 1 fills none; the
//   reference becomes frame_time.
// The fill frames of a gap go into the stream directly before the frame;
// a frame of rule 1 or 2 has none before it.
// The converter walks the archive with these rules, the first frame's
// reference coming from FirstFrameReference (below). One damaged stamp
// fills nothing unless it is on the archive's last frame (which has no
// successor to be judged by: its step counts as lost frames, up to
// span_limit), and no run writes more fill frames than FillBudget.
#pragma once

#include <cstdint>
#include <optional>

enum class FrameTimeVerdict {
  InStep,     // rule 1
  Damaged,    // rules 2 and 4: kept in place, logged as out of step
  Gap,        // rules 3 and 4: logged as a gap (also when nothing is filled)
};

struct frametimedecision {
  FrameTimeVerdict verdict = FrameTimeVerdict::InStep;
  int64_t steps = 1;          // m of a gap (1 for the other verdicts)
  int64_t fill_frames = 0;    // fill frames to insert before the frame
  bool fill_cut = false;      // fill_frames is less than m - 1: no room left
  double reference = 0.0;     // the reference for the next frame
  double step = 0.0;          // dT
};

frametimedecision JudgeFrameTime(double reference, double frame_time,
                                 std::optional<double> next_time, double period,
                                 double span_limit, int64_t fill_room);

// The span limit of an archive: stop - start (as the notes show them) plus
// one block duration; never below one block duration.
double FillSpanLimit(double start_time, double stop_time, double block_duration);

// The frames the archive's span holds: the span limit at the frame rate,
// rounded up, and one more for the rounding of the times.
int64_t FrameBudget(double span_limit, double period);

// The most fill frames a run writes: the frames of the span less the
// archive's own frames (all of which are written), so that the stream never
// holds more frames than the span, or than the archive alone.
inline int64_t FillBudget(int64_t frame_budget, int64_t archive_frames) {
  return frame_budget > archive_frames ? frame_budget - archive_frames : 0;
}

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
