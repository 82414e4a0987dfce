// The PCM bit stream an archive must turn into, rebuilt from the archive
// for the self-check: its minor frames in order, fill frames of 0xAAAA
// words where frames are missing, every word packed to its length
// (stream_packer). Where fill frames go is judged by the same rules as the
// converter (pack/frame_time_check), so that the check expects fill exactly
// where it belongs and damaged time stamps kept in place without fill.
//
// The archive object gives the header and the setup; the frame blocks are
// read with a reader of the stream's own (not the archive object's, whose
// block reading is then checked too) from the data start on, whole blocks
// only, as the converter takes them. Frames are packed
// where they lie in the reader's buffer, into chunks of a few hundred
// kilobytes: a long archive (or a long gap) needs no more memory than a
// few of them. Where this process may run on a second processor, a thread
// of the stream's own reads the archive and makes the chunks while the
// check compares the ones before, so each of the two files is read and
// worked on by one processor while the bytes are still in its cache.
#pragma once

#include <condition_variable>
#include <cstddef>
#include <cstdint>
#include <mutex>
#include <optional>
#include <thread>
#include <vector>

#include "support/buffered_file_reader.h"
#include "verify/stream_packer.h"

class orloarkclass;

class archiveframestreamclass {
 public:
  // The archive must be open (header and setup read). Each frame is judged
  // with the time of the frame after it, so two frames are held: the one
  // being packed and the next.
  explicit archiveframestreamclass(const orloarkclass& archive);
  ~archiveframestreamclass();
  archiveframestreamclass(const archiveframestreamclass&) = delete;
  archiveframestreamclass& operator=(const archiveframestreamclass&) = delete;

  // Opens the archive's file for its frame blocks (and starts the thread);
  // false when it cannot be read, with LastError.
  bool Open();

  // The next bytes of the stream (16-bit little-endian words filled from
  // bit 15 down, the last padded with zero bits): `data` and the count,
  // valid until Consume takes them; 0 at the end of the stream.
  size_t Peek(const uint8_t*& data);
  void Consume(size_t n) { taken_ += n; }

  // Known once Peek has found the end of the stream (the thread is then
  // done with them): whether it ended because a read of the archive failed
  // (LastError tells why) rather than at the end of the archive's data, and
  // the frames it held.
  bool ReadFailed() const { return read_failed_; }
  int LastError() const { return reader_.ReadError() != 0 ? reader_.ReadError() : reader_.File().LastError(); }
  int64_t ArchiveFrames() const { return archive_frames_; }
  int64_t FillFrames() const { return fill_frames_; }
  // Frame of the stream (archive and fill frames counted) that holds the
  // given byte of the stream.
  int64_t FrameAtByte(int64_t byte_offset) const;

 private:
  struct heldframestruct {
    double time = 0.0;
    const uint8_t* words = nullptr;  // the frame's 16-bit containers as stored
  };
  struct chunkstruct {
    std::vector<uint8_t> bytes;
    size_t length = 0;
    bool last = false;  // the stream ends with this chunk
  };
  // Fills a chunk with the stream's next bytes.
  void MakeChunk(chunkstruct& chunk);
  // The stream thread: makes chunks while there is room for them.
  void Run();
  // Packs the next frame (fill or archive) into the chunk being made;
  // false at the end.
  bool MakeNextFrame();
  // The archive's next frame, reading blocks as needed; false at the end
  // of the archive's data.
  bool FetchFrame(heldframestruct& frame);
  // Takes the next whole block from the file; false at the end of the data.
  bool TakeBlock();
  void PackFrame(const uint8_t* words);

  const orloarkclass& archive_;
  bufferedfilereaderclass reader_;
  lanepackerclass packer_;
  int32_t words_per_frame_ = 0;
  size_t stride_ = 0;       // bytes from one frame of a block to the next
  size_t block_bytes_ = 0;  // prefix, serial and status bytes
  size_t serial_bytes_ = 0;
  double period_ = 0.0;
  double block_duration_ = 0.0;
  double span_limit_ = 0.0;  // longest unconfirmed step that may be filled
  int64_t fill_budget_ = 0;  // most fill frames of the stream
  double reference_ = 0.0;   // the time the next frame is measured from

  const uint8_t* serial_ = nullptr;  // the serial data of the block in use
  size_t frames_in_block_ = 0;
  size_t next_in_block_ = 0;
  int64_t blocks_read_ = 0;
  bool read_failed_ = false;
  std::optional<double> first_block_times_[3];  // the first three frames' times, if in block 1

  heldframestruct current_;  // judged; packed once its fill frames are out
  heldframestruct next_;
  // current_'s words, kept here when the block they lie in is left.
  std::vector<uint8_t> kept_words_;
  bool started_ = false;
  bool have_next_ = false;
  bool current_waiting_ = false;  // current_ still to be packed
  int64_t fill_waiting_ = 0;      // fill frames still due before current_
  bool ended_ = false;

  int64_t archive_frames_ = 0;
  int64_t fill_frames_ = 0;

  // The ring of chunks: the thread makes them in turn while the check
  // takes them in the same order; without the thread, one chunk is made
  // when the one before has been taken.
  static constexpr int kChunks = 4;
  chunkstruct chunks_[kChunks];
  chunkstruct* making_ = nullptr;        // the chunk MakeNextFrame packs into
  int next_made_ = 0;                    // the thread's next chunk
  int next_taken_ = 0;                   // the check's next chunk
  const chunkstruct* taking_ = nullptr;  // the chunk the check takes from
  size_t taken_ = 0;                     // its bytes consumed
  bool seen_last_ = false;

  std::thread thread_;
  std::mutex lock_;
  std::condition_variable changed_;
  int made_ = 0;           // chunks made and not yet given back, guarded
  bool stopping_ = false;  // guarded
};
