// The PCM bit stream an archive must turn into, rebuilt from the archive
// for the self-check: its minor frames in order, fill frames of 0xAAAA
// words where frames are missing, every word packed to its length most
// significant bit first, bit by bit. Deliberately plain: it shares no
// packing code with the packed-bit pass, so a fault there shows up as a
// difference. Where fill frames go is judged by the same rules as that pass
// (pack/frame_time_check), so that the check expects fill exactly where it
// belongs and damaged time stamps kept in place without fill.
//
// Frames are made one at a time as the bytes are asked for, so a long
// archive (or a long gap) needs no more memory than one frame.
#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>
#include <vector>

class orloarkclass;

class archiveframestreamclass {
 public:
  // The archive must be open (header and setup read) and at its first
  // block; the stream reads its blocks from there on. Each frame is judged
  // with the time of the frame after it, so two frames are held: the one
  // being packed and the next.
  explicit archiveframestreamclass(orloarkclass& archive);

  // Up to n bytes of the stream (16-bit little-endian words filled from bit
  // 15 down); fewer only at its end, where the last word is padded with
  // zero bits.
  size_t Read(uint8_t* into, size_t n);

  int64_t ArchiveFrames() const { return archive_frames_; }
  int64_t FillFrames() const { return fill_frames_; }
  // Frame of the stream (archive and fill frames counted) that holds the
  // given byte of the stream.
  int64_t FrameAtByte(int64_t byte_offset) const;

 private:
  struct heldframestruct {
    double time = 0.0;
    std::vector<uint8_t> words;  // the frame's 16-bit containers as stored
  };
  // Adds the next frame (fill or archive) to pending_; false at the end.
  bool MakeNextFrame();
  // Copies the archive's next frame into `frame`, reading blocks as needed;
  // false at the end of the archive's data.
  bool FetchFrame(heldframestruct& frame);
  // Packs one frame: the archive frame's words, or a fill frame (nullptr).
  void PackFrame(const uint8_t* words);
  void FinishStream();
  // Moves the whole 16-bit words gathered in the accumulator to pending_.
  void EmitWholeWords();

  orloarkclass& archive_;
  int32_t words_per_frame_ = 0;
  int64_t bits_per_frame_ = 0;
  // Per word of the frame: the container bits it contributes, from bit
  // low + count - 1 down to bit low.
  struct wordbitsstruct {
    int low = 0;
    int count = 0;
  };
  std::vector<wordbitsstruct> word_bits_;
  double period_ = 0.0;
  double block_duration_ = 0.0;
  double span_limit_ = 0.0;         // longest unconfirmed step that may be filled
  int64_t fill_budget_ = 0;         // most fill frames of the stream
  double reference_ = 0.0;          // the time the next frame is measured from

  size_t frames_in_block_ = 0;      // frames of the block in the serial buffer
  size_t next_in_block_ = 0;
  int64_t blocks_read_ = 0;
  std::optional<double> first_block_times_[3];  // the first three frames' times, if in block 1

  heldframestruct current_;         // judged; packed once its fill frames are out
  heldframestruct next_;
  bool started_ = false;
  bool have_next_ = false;
  bool current_waiting_ = false;    // current_ still to be packed
  int64_t fill_waiting_ = 0;        // fill frames still due before current_
  bool ended_ = false;

  int64_t archive_frames_ = 0;
  int64_t fill_frames_ = 0;

  std::vector<uint8_t> pending_;    // stream bytes made but not yet read
  size_t pending_len_ = 0;
  size_t pending_pos_ = 0;
  uint64_t bits_ = 0;               // stream bits not yet in whole words, the latest lowest
  int bit_count_ = 0;               // 0 to 63
};
