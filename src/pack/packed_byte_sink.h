// Where the packed-bit converter hands its output: the packed stream's
// bytes, in order, a group of frames at a time (at most 256 KiB per call).
// The Chapter 10 writer takes them as they come; the pack file writer keeps
// them when the user wants the pack file.
#pragma once

#include <cstddef>
#include <cstdint>

class packedbytesinkclass {
 public:
  virtual ~packedbytesinkclass() = default;
  // Takes the next `count` bytes of the stream. False once the sink has
  // failed (it reported the failure itself); it is then handed nothing more.
  virtual bool AcceptPackedBytes(const uint8_t* bytes, size_t count) = 0;
};
