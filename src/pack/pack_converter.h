// orloarkpackclass: turns the archive's minor frames (each word in its own
// 16-bit container) into one bit-packed stream, inserting fill frames of
// 0xAAAA words where the frame times show missing frames. The stream goes, a
// group of frames at a time, to the stream sink (the Chapter 10 writer) and,
// when the user keeps it, to the pack file.
//
// Pack file: no header, a sequence of little-endian 16-bit words holding one
// continuous bit stream, each word filled from bit 15 down to bit 0.
#pragma once

#include <cstdint>
#include <functional>
#include <string>
#include <vector>

#include "pack/bit_packer.h"
#include "pack/frame_time_check.h"
#include "pack/pack_file_writer.h"
#include "pack/packed_byte_sink.h"

struct arkheaderstruct;

constexpr int kPackBufferWords = 131072;
constexpr int kFillFrameWords = 16384;
// Sixteen frames of any layout fill a whole number of stream words, so a
// run of fill frames repeats itself every kFillPeriodFrames frames.
constexpr int kFillPeriodFrames = 16;
// A run logs this many "kept in place" lines and this many gap lines one by
// one; the rest of each kind are counted in one line at the end of the pass.
constexpr int64_t kLoggedFrameTimeLines = 100;

class orloarkpackclass {
 public:
  // The converter packs by the archive's header record, which it reads
  // (never changes) and which must outlive it; the frame blocks are handed
  // to it one at a time.
  explicit orloarkpackclass(const arkheaderstruct& header);
  ~orloarkpackclass();
  orloarkpackclass(const orloarkpackclass&) = delete;
  orloarkpackclass& operator=(const orloarkpackclass&) = delete;

  // Prepares a run (counters, buffers, group size) and creates the pack
  // file, empty. The stream starts at the archive's first frame time; the
  // archive's whole frames bound the fill frames of the run. False, with
  // OutputFailed(), when the file cannot be created or the frame setup
  // cannot be packed (words per frame outside 1 to 16383, a word length
  // outside 1 to 16, a frame rate not above 0).
  bool SetPackFile(const std::string& path, double first_frame_time, int64_t whole_frame_count);
  // Whether the stream is written to the pack file (on by default; the
  // conversion turns it off unless the user keeps the pack file).
  void SetPackFileWanted(bool wanted) { pack_file_wanted_ = wanted; }
  bool PackFileWanted() const { return pack_file_wanted_; }
  // The consumer of the stream, not owned; null for none. It is handed
  // nothing more once it has refused bytes, and no fill frames are made
  // after that.
  void SetStreamSink(packedbytesinkclass* sink);
  // Asked once per group handed on (never per frame) whether the run must
  // stop; once it says so, fill frames end where they are (the archive
  // frames already read still join the stream). Empty: never.
  void SetStopCheck(std::function<bool()> stop_check) { stop_check_ = std::move(stop_check); }
  // Frames per group: a multiple of 16 whose words fit the packed buffer, or 1.
  int32_t OptimumFillBufFrames();
  // Converts the serial data of the block just read (`serial_bytes` bytes,
  // any alignment; only the frames that lie wholly inside it are read);
  // updates the frame counters.
  void ProcessArkBlock(const uint8_t* serial, size_t serial_bytes);
  // The frame loop of one block: true when a gap was found in it. A frame
  // out of step is judged by the frame after it; when that frame is in the
  // next block, the judgement (and the frame) waits for that block.
  bool ArkFramesToPackedBitFrames(const uint8_t* serial, size_t serial_bytes);
  // Judges and converts a frame still waiting for its successor, as the
  // archive's last frame. Called when the archive has no more blocks (and
  // by ClosePackOutput); does nothing when no frame waits.
  void FinishFrames();
  // For a source whose frame times start over (one block replayed): the
  // next frame is taken as in step when it lies at `frame_time`, as a run's
  // first frame is. The stream, the pack file and the counters carry on; a
  // frame still waiting for its successor is judged first, as the last
  // frame before the new start.
  void RestartFrameTimesAt(double frame_time);
  // Hands on the frames packed since the last group.
  void PackFillBuffer();
  // Appends one word to the stream; lengths above 16 are taken as 16 (the
  // container holds no more bits), lengths below 1 add nothing.
  void PackWordBits(uint16_t value, int32_t length_bits, bool left_justified);
  // Packs and hands on what still waits (the last stream word padded with
  // zero bits), logs how many frame time lines were left out, then flushes
  // and closes the pack file. False when any write to the pack file failed.
  bool ClosePackOutput();

  // True once the pack file could not be created or a write to it failed
  // or came up short (reported once with LogError, code = the error number).
  bool OutputFailed() const { return output_error_ != 0 || pack_file_.Failed(); }
  int OutputError() const { return output_error_ != 0 ? output_error_ : pack_file_.Error(); }

  // Counters read by the progress view and the notes.
  double BlockCount() const { return block_count_; }
  double MissedFrameCount() const { return missed_frame_count_; }
  double ValidFrameCount() const { return valid_frame_count_; }
  double TotalFrameCount() const { return total_frame_count_; }
  // Frames whose own time stamp was out of step and that were kept in place.
  double DamagedTimeCount() const { return damaged_time_count_; }
  // Frames whose step was taken as a real move of the time base (gaps,
  // repeated and backward times).
  double GapCount() const { return gap_count_; }
  // Fill frames left out because the run had reached FillBudgetFrames.
  double CutFillFrames() const { return cut_fill_frames_; }

  // The run's frame timing and layout, set by SetPackFile.
  int32_t FrameStride() const { return frame_stride_; }          // WPF + the frame header's words
  int32_t FrameDataBytes() const { return frame_data_bytes_; }   // WPF x 2
  double BlockDuration() const { return block_duration_; }
  double PreviousFrameTime() const { return previous_frame_time_; }
  double FramePeriod() const { return frame_period_; }
  double HalfPeriod() const { return half_period_; }
  // The longest unconfirmed step that may be filled, seconds.
  double SpanLimit() const { return span_limit_; }
  // The most fill frames the run writes (FillBudget).
  int64_t FillBudgetFrames() const { return fill_budget_frames_; }
  int32_t FramesPerGroup() const { return frames_per_group_; }   // F
  const std::string& PackFileName() const { return pack_file_name_; }

 private:
  bool CheckSetup(std::string& reason) const;
  // The span limit, and the fill budget that follows from it.
  void SetSpanLimit(double span_limit);
  void BuildWordLayout();
  // Appends up to `count` fill frames; fewer once the run must stop or a
  // writer has failed. Returns how many.
  int64_t AppendFillFrames(int64_t count);
  bool FillMustStop() const { return stop_seen_ || sink_failed_ || OutputFailed(); }
  // The frame time lines beyond the first kLoggedFrameTimeLines of each
  // kind, counted at the end of the pass.
  void LogOmittedFrameTimeLines();
  // Logs, fills and converts one archive frame by its judgement.
  void ConvertJudgedFrame(const frametimedecision& d, const uint8_t* frame_words,
                          int32_t index_in_block, double block_count);
  void AppendFrameWords(const uint8_t* frame_words);
  // Packs one frame's words (where they lie) into the packed buffer; the
  // frame that completes a group hands the group on.
  void PackFrame(const uint8_t* words);
  // Packs `frames` frames of words (where they lie) at `out`, with the
  // frame's layout. Returns the stream words stored.
  size_t PackFrames(const uint8_t* words, int64_t frames, uint16_t* out);
  // Packs `frames` fill frames at `out`, from the fill buffer (which must
  // hold kFillPeriodFrames frames, or all of them when fewer); returns the
  // stream words stored. The same words as packing every frame.
  size_t PackFillFrames(int64_t frames, uint16_t* out);
  // Hands the packed words gathered so far to the pack file and the sink.
  void DeliverPackedWords();

  const arkheaderstruct* header_;           // the archive's
  std::string pack_file_name_;
  double block_count_ = 0.0;
  double missed_frame_count_ = 0.0;
  double valid_frame_count_ = 0.0;
  double total_frame_count_ = 0.0;
  double damaged_time_count_ = 0.0;
  double gap_count_ = 0.0;
  double cut_fill_frames_ = 0.0;
  int32_t frame_stride_ = 0;
  int32_t frame_data_bytes_ = 0;
  double block_duration_ = 0.0;
  double previous_frame_time_ = 0.0;
  double frame_period_ = 0.0;
  double half_period_ = 0.0;
  double span_limit_ = 0.0;
  int64_t fill_budget_frames_ = 0;
  int32_t frames_per_group_ = 0;
  int64_t whole_frame_count_ = 0;           // the archive's whole frames, for the fill budget
  packfilewriterclass pack_file_;
  bool pack_file_wanted_ = true;
  packedbytesinkclass* stream_sink_ = nullptr;
  bool sink_failed_ = false;                // the sink refused bytes
  std::function<bool()> stop_check_;
  bool stop_seen_ = false;                  // the stop check said stop
  int output_error_ = 0;                    // a frame setup that cannot be packed
  bool prepared_ = false;                   // SetPackFile succeeded

  int32_t words_per_frame_ = 0;             // W
  int32_t frames_per_block_ = 0;
  int32_t frames_converted_ = 0;            // archive frames of the last block
  int64_t fill_written_ = 0;                // fill frames in the stream
  int64_t damaged_lines_ = 0;               // "kept in place" judgements this run
  int64_t gap_lines_ = 0;                   // gap judgements this run
  bool fill_cut_logged_ = false;            // the budget's cut has been logged

  // The last frame of a block whose time was out of step waits here for the
  // first frame of the next block (its successor) before it is judged.
  bool frame_waiting_ = false;
  std::vector<uint8_t> waiting_words_;      // its data words, as in the block
  double waiting_time_ = 0.0;
  int32_t waiting_index_ = 0;               // its index in its block
  double waiting_block_count_ = 0.0;        // ArkBlockCount of its block

  // The packed output of one group, allocated once per run.
  std::vector<uint16_t> packed_buffer_;
  std::vector<uint16_t> fill_frame_;        // kFillFrameWords words of 0xAAAA
  int32_t frames_in_group_ = 0;             // frames packed since the last group
  int32_t packed_words_ = 0;
  bitstreamstate stream_;                   // the unfinished stream word

  // Per-word layout of the minor frame; when every word shares one layout
  // the whole group is packed as one run.
  std::vector<packwordlayout> layout_;
  bool uniform_layout_ = false;
};
