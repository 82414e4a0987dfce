// Decoding of the 10-byte header that precedes every minor frame in a block:
// BCD day, hours, minutes, seconds and microseconds, then the status word.
#pragma once

#include <algorithm>
#include <cstddef>
#include <cstdint>

// The frame header's 16-bit words and bytes; the frame's data words follow
// them. Every rule on the layout of a block's frames starts from these.
inline constexpr int32_t kFrameHeaderWords = 5;
inline constexpr size_t kFrameHeaderBytes = kFrameHeaderWords * 2;

// Bytes from one frame to the next in a block: its header words and its
// data words. words_per_frame is at least 0.
inline constexpr size_t FrameStrideBytes(int32_t words_per_frame) {
  return static_cast<size_t>(words_per_frame + kFrameHeaderWords) * 2;
}

// The block's frames that lie wholly inside its serial buffer: a block may
// claim more frames than its serial bytes hold.
inline size_t WholeFramesInBlock(int32_t frames_per_block, size_t serial_bytes, size_t stride_bytes) {
  return std::min(static_cast<size_t>(std::max(frames_per_block, 0)), serial_bytes / stride_bytes);
}

void DecodeFrameHeader(const uint8_t* header_bytes, double& time, int32_t& sfid,
                       int32_t& state_a, int32_t& state_b);
