// How many fill frames go before an archive frame, judged from its time and
// the time of the frame before it: the same rule as the packed-bit pass, so
// that the self-check expects fill frames exactly where they belong.
#pragma once

#include <cstdint>

// A step of m >= 2 frame periods means m - 1 frames are missing; a step
// within half a period of one period, a repeated or a backward time loses
// nothing.
int64_t FillFramesBefore(double previous_frame_time, double frame_time, double frame_period);
