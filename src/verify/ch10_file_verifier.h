// The self-check of a conversion: reads the Chapter 10 file back and checks
// it against the archive it was made from. Every packet's framing and
// checksums, the sequence numbers per channel, the TMATS packet first and
// its text describing the PCM stream as the archive's setup has it
// (tmats_check), time packets in order, dated right and about one per
// second of data time, and the PCM data equal to the archive's frames packed
// again (with fill frames where frames are missing). Both files are
// streamed, so memory stays bounded; the check stops at the first difference
// and names its byte offset in the Chapter 10 file.
#pragma once

#include <cstdint>
#include <functional>
#include <string>

struct verifyresultstruct {
  bool Passed = false;
  int64_t ArchiveFrames = 0;
  int64_t FillFrames = 0;
  int64_t Packets = 0;
  int64_t DifferenceOffset = -1;  // byte of the Chapter 10 file; -1 when no file was read
  std::string Difference;         // what differs, or why the check could not run
};

// Opens the archive the way a conversion does (its header and setup file;
// without a usable setup file the installed prompt answers are taken).
// `stop`, when given, is asked between packets; true ends the check, not
// passed.
verifyresultstruct VerifyCh10File(const std::string& archive_path, const std::string& ch10_path,
                                  const std::function<bool()>& stop = {});

// "verified: N frames, M fill frames, P packets", or the difference with its
// byte offset.
std::string VerifyResultText(const verifyresultstruct& result);
