// orloarkclass: one open ".Ark" archive. Reads and checks the text header
// into the archive header record, completes it with the decom setup, works
// out the start and stop times, and keeps the file open so that the frame
// blocks can be read one after another.
#pragma once

#include <cstdint>
#include <memory>
#include <span>
#include <string>
#include <vector>

#include "archive/ark_header.h"
#include "support/buffered_file_reader.h"

// A frame block starts with its time (a little-endian double), two spare
// bytes and its run count (little-endian 16 bits); its serial data and its
// status bytes follow. Both ways of reading a block use these offsets.
inline constexpr int32_t kBlockTimeOffset = 0;
inline constexpr int32_t kBlockSpareOffset = 8;
inline constexpr int32_t kBlockRunCountOffset = 10;
inline constexpr int32_t kBlockPrefixBytes = 12;
static_assert(kBlockSpareOffset == kBlockTimeOffset + static_cast<int32_t>(sizeof(double)));
static_assert(kBlockRunCountOffset == kBlockSpareOffset + 2);
static_assert(kBlockPrefixBytes == kBlockRunCountOffset + static_cast<int32_t>(sizeof(uint16_t)));

inline constexpr const char* kArchiveMagicLine = "QUORVANT 8.0 ARCHIVE FILE FORMAT";

class orloarkclass {
 public:
  orloarkclass();
  ~orloarkclass();
  orloarkclass(const orloarkclass&) = delete;
  orloarkclass& operator=(const orloarkclass&) = delete;

  // Header reading (archive_reader.cpp).
  bool OpenArkFile(const std::string& path);
  bool OpenAndReadHeader(const std::string& path);
  bool ReadArkHeader(bool& times_valid);
  void ReadHeaderLine(std::string& text, int32_t& count);
  int64_t SeekArk(int64_t offset);
  void SeekToDataStart();
  bool ReadLastBlockTime(double& time);
  static double EstimateStopTime(double start, double block_duration, double block_size,
                                 double header_bytes, double file_size);
  void CloseArkFile();

  // Frame block reading (frame_block_reader.cpp).
  void ReadNextBlock();
  bool GroupReadToBufs(bool& end_flag);

  bool IsOpen() const { return reader_.IsOpen(); }
  // The archive frames of the whole blocks the file holds (a last block
  // cut short is not converted).
  int64_t WholeFrameCount() const;
  // The error number of the first failed read of the archive or its setup
  // file since the archive was opened (0: none). A failed read ends the
  // blocks like the end of the file, but the data after it is lost.
  int InputError() const { return input_error_; }
  // The header record: what the text header says, completed with the decom
  // setup. Rebuilt in place by each open, so a reference stays valid.
  const arkheaderstruct& Header() const { return *header_; }

  // State read by the progress view, the converter and the notes.
  const std::string& FileName() const { return file_name_; }
  int32_t HeaderBytes() const { return header_bytes_; }    // data start offset
  bool EndOfData() const { return end_of_data_; }
  double BlockDuration() const { return block_duration_; }  // seconds
  double FirstFrameTime() const { return first_frame_time_; }
  int64_t FileSize() const { return file_size_; }
  int64_t FilePosition() const { return file_position_; }
  double BlockTime() const { return block_time_; }          // time of the last block read
  uint16_t BlockRunCount() const { return block_run_count_; }
  // One block's serial bytes: its size is the size of every block's serial
  // data (where the last block's data lies is SerialData()).
  const std::vector<uint8_t>& SerialBuffer() const { return serial_buffer_; }
  // The serial data of the last block read (SerialBuffer's size): where
  // the block lies in the reader's buffer when it was read in one piece,
  // else SerialBuffer. Valid until the next block is read or the file is
  // closed. Any alignment: the frames are read as bytes.
  const uint8_t* SerialData() const { return serial_view_ ? serial_view_ : serial_buffer_.data(); }
  // Why the last open failed, in plain words ("no such file", ...); empty
  // after a successful open.
  const std::string& OpenFailure() const { return open_failure_; }
  // Set at open when a setup file was found beside the archive and not
  // used (the prompts answered instead): why, in plain words.
  const std::string& SetupFileProblem() const { return setup_file_problem_; }
  // Whether the open took the decom setup from the setup file (else from
  // the defaults and the operator's answers to the two prompts).
  bool SetupFileUsed() const { return setup_file_used_; }
  // The number of the validation check the setup file failed (see
  // ValidateDecomSetup), -1 when it was used, missing, or not used for a
  // reason other than a failed check.
  int32_t SetupFileCheck() const { return setup_file_check_; }
  // Bytes of a last block that the file ends inside (not converted); set
  // by the block read that came up short.
  int64_t PartialBlockBytes() const { return partial_block_bytes_; }
  // The status bytes of the last block read: the first StatusBytesPerBlock
  // of kMaxStatusBytesPerBlock bytes.
  const uint8_t* StatusBuffer() const { return status_buffer_; }

 private:
  // Header reading steps (archive_reader.cpp).
  void ResetHeaderRecord();
  bool ParseValueLines(std::span<const std::string> lines, bool& times_valid);
  bool RefuseUnsafeGeometry();
  // Reads the first and the last block's times, and the frame times of the
  // first blocks into `first_times` (for the rate check).
  void ReadFirstAndLastBlockTimes(std::vector<double>& first_times);
  void CollectFirstFrameTimes(std::vector<double>& times);
  // Refuses a header frame rate that the first frame times contradict, or
  // one too fast for the frame times to follow.
  bool RefuseImplausibleRate(const std::vector<double>& first_times);
  // Completes the header record with the decom setup: the setup file's
  // record when it is there and usable, else the defaults and the
  // operator's answers to the two prompts. A setup file found and not used
  // leaves its reason in SetupFileProblem.
  void ApplyDecomSetup();
  // The block size the header's fields make: 12 + serial + status bytes.
  int64_t FieldBlockBytes() const {
    return kBlockPrefixBytes + static_cast<int64_t>(header_->SerialBytesPerBlock) + header_->StatusBytesPerBlock;
  }
  // One field of a frame block; logs `short_text` on a short read.
  bool ReadBlockField(void* into, int64_t size, const char* short_text);
  // Takes the next block from the reader's buffer when it lies there
  // whole; false (nothing taken) when it does not.
  bool ReadWholeBlockInPlace();
  // Records and reports the first read error (LogError names the file).
  void NoteReadError(int error_number, const std::string& path);

  std::unique_ptr<arkheaderstruct> header_;
  // Word table entries filled since the record was last rebuilt: those
  // past them are zero.
  int32_t word_table_filled_ = 0;
  std::string file_name_;
  int32_t header_bytes_ = 0;
  bool end_of_data_ = false;
  double block_duration_ = 0.0;
  double first_frame_time_ = 0.0;
  int64_t file_size_ = 0;
  int64_t file_position_ = 0;
  double block_time_ = 0.0;
  uint16_t block_run_count_ = 0;
  std::vector<uint8_t> serial_buffer_;       // serial bytes per block
  std::vector<std::string> header_lines_;    // the value lines of the last header read
  std::string open_failure_;
  std::string setup_file_problem_;
  bool setup_file_used_ = false;
  int64_t partial_block_bytes_ = 0;
  uint8_t status_buffer_[kMaxStatusBytesPerBlock] = {};
  // The setup file's record (about 262 KB) as ApplyDecomSetup reads it:
  // made at the first open and reused by every later one.
  std::unique_ptr<decomsetupstruct> setup_record_;
  int32_t setup_file_check_ = -1;
  int input_error_ = 0;
  bool open_complete_ = false;               // OpenArkFile succeeded: read errors no longer fail the open
  const uint8_t* serial_view_ = nullptr;     // see SerialData
  // The archive file. Frame blocks are small (often a few KiB); reading
  // them field by field straight from the file would cost several system
  // calls per block, so they are drawn from the reader's large buffer, and
  // a block that lies whole there is used in place.
  bufferedfilereaderclass reader_;
};
