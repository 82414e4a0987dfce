// Opening an archive: the text header (magic line, value lines read by
// position), the checks that make the frame blocks safe to read, the start
// and stop times, and the hand-over to the decom setup.
#include "archive/archive_reader.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <climits>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <memory>
#include <span>
#include <string>
#include <string_view>
#include <vector>

#include "archive/decom_setup.h"
#include "archive/frame_header.h"
#include "archive/frame_rate_check.h"
#include "archive/setup_prompts.h"
#include "support/error_log.h"
#include "support/platform_file.h"
#include "support/profile_files.h"
#include "support/text_format.h"
#include "support/time_keeping.h"

namespace {

constexpr size_t kMaxValueLines = 400;         // a header with this many is refused
constexpr int32_t kLineCountLimit = 3000;      // the byte whose count passes this ends a line
constexpr double kMinArchiveTime = 1e-7;
constexpr double kMaxArchiveTime = 31622400.0;  // 366 days
constexpr double kYearEndTime = 31536000.0;     // 365 days
constexpr int64_t kMaxSerialBytesPerBlock = 64LL * 1024 * 1024;
// The frame rate is checked against the steps between the first frame
// times: up to this many steps, from the first 4 blocks or as many more as
// lie in the first 256 KiB of frame blocks.
constexpr size_t kRateCheckSteps = 1024;
constexpr int64_t kRateCheckBlocks = 4;
constexpr int64_t kRateCheckBytes = 256 * 1024;
// Frame times count microseconds: frames closer together than that cannot
// be told apart by their times, so neither gaps nor the rate can be checked.
constexpr double kMaxFrameRate = 1e6;

// The line rules of the header, one byte at a time. `count` starts at -1 and
// counts every byte taken. CR is skipped, LF ends the line, a byte whose
// count passes 3000 ends the line and is dropped, NUL ends the header
// (count -1). Returns true when the line is complete.
bool TakeHeaderByte(uint8_t byte, std::string& text, int32_t& count) {
  ++count;
  if (byte == '\r') return false;
  if (byte == '\n') return true;
  if (count > kLineCountLimit) return true;
  if (byte == 0) {
    count = -1;
    return true;
  }
  text.push_back(static_cast<char>(byte));
  return false;
}

// Refusals of the header: logged, and kept as the reason the open failed.
// "Permission denied" as "permission denied", to go after a colon.
std::string PlainErrorText(int error_number) {
  std::string text = SystemErrorText(error_number != 0 ? error_number : EIO);
  if (!text.empty() && text[0] >= 'A' && text[0] <= 'Z' && (text.size() < 2 || text[1] < 'A' || text[1] > 'Z'))
    text[0] = static_cast<char>(text[0] - 'A' + 'a');
  return text;
}

void RefuseHeader(std::string& open_failure, const std::string& problem) {
  LogError(problem, 255, true);
  open_failure = "header refused: " + problem;
}

// A rate in Hz as the refusals show it: 1000, 333.333, 1e+09.
std::string RateText(double rate) { return FormatGeneralNumber(rate, 6); }

// Why a file of this type is no archive (only regular files are).
std::string NotRegularFileReason(mode_t mode) {
  if (S_ISDIR(mode)) return "is a folder, not an archive file";
  if (S_ISFIFO(mode)) return "is a FIFO (named pipe), not an archive file";
  if (S_ISCHR(mode)) return "is a character device, not an archive file";
  if (S_ISBLK(mode)) return "is a block device, not an archive file";
  if (S_ISSOCK(mode)) return "is a socket, not an archive file";
  return "is not a regular file, not an archive file";
}

// True for a path that reaches a process's descriptor (/dev/stdin,
// /dev/fd/0, /proc/self/fd/3): even when it leads to a regular file, that
// file is not where the path says, and the outputs beside it would go into
// /dev or /proc.
bool IsProcessDescriptorPath(const std::string& path) {
  auto under_proc = [](const char* text) { return std::string(text).rfind("/proc/", 0) == 0; };
  if (under_proc(path.c_str())) return true;
  char target[PATH_MAX];
  const ssize_t length = ::readlink(path.c_str(), target, sizeof target - 1);
  if (length > 0) {
    target[length] = '\0';
    if (under_proc(target)) return true;
  }
  const std::string folder = FileFolderPart(path);
  char real_folder[PATH_MAX];
  return ::realpath(folder.empty() ? "." : folder.c_str(), real_folder) != nullptr && under_proc(real_folder);
}

}  // namespace

orloarkclass::orloarkclass() : header_(std::make_unique<arkheaderstruct>()) {}

orloarkclass::~orloarkclass() { CloseArkFile(); }

bool orloarkclass::OpenArkFile(const std::string& path) {
  open_complete_ = false;
  if (!OpenAndReadHeader(path)) return false;
  // The first block read failed: there is no frame to convert, and a run
  // would only write empty outputs.
  if (end_of_data_) {
    const int64_t data_bytes = file_size_ - header_bytes_;
    const int64_t block_bytes = FieldBlockBytes();
    LogError("Archive File Holds No Whole Frame Block, Nothing To Convert", 255, true);
    open_failure_ = "no whole frame block: " + std::to_string(data_bytes > 0 ? data_bytes : 0) +
                    " bytes follow the header, a block is " + std::to_string(block_bytes);
    CloseArkFile();
    return false;
  }
  ApplyDecomSetup();
  // A setup file that exists but cannot be read is not a missing one: the
  // frames would be packed with guessed word lengths.
  if (input_error_ != 0) {
    CloseArkFile();
    return false;
  }
  open_complete_ = true;
  return true;
}

bool orloarkclass::OpenAndReadHeader(const std::string& path) {
  CloseArkFile();
  // Emptied, but its memory is kept for the next archive's blocks: a batch
  // opens one archive after another, mostly of one layout.
  serial_buffer_.clear();
  serial_view_ = nullptr;
  file_name_.clear();
  header_bytes_ = 0;
  end_of_data_ = false;
  file_size_ = 0;
  file_position_ = 0;
  block_duration_ = 0.0;
  first_frame_time_ = 0.0;
  block_time_ = 0.0;
  block_run_count_ = 0;
  partial_block_bytes_ = 0;
  open_failure_.clear();
  setup_file_problem_.clear();
  setup_file_used_ = false;
  setup_file_check_ = -1;
  input_error_ = 0;

  // Only a regular file is an archive. Its type is known before it is
  // opened, so that opening a FIFO or a device never waits for a writer.
  struct stat named {};
  if (::stat(path.c_str(), &named) != 0) {
    open_failure_ = "no such file";
    return false;
  }
  if (!S_ISREG(named.st_mode) || IsProcessDescriptorPath(path)) {
    open_failure_ = S_ISREG(named.st_mode)
                        ? "is a descriptor of a process (such as standard input), not an archive file"
                        : NotRegularFileReason(named.st_mode);
    LogInfo("Not an archive file: " + path + " " + open_failure_, 255, false);
    return false;
  }
  // Apart from the one look at the last block, the archive is read from
  // its start to its end: the reader tells the system so, which may then
  // read further ahead than it would for a file used at random.
  if (!reader_.Open(path)) {
    const int error = reader_.File().LastError();
    LogInfo("Could not open " + path + ": " + SystemErrorText(error), error, false);
    LogError("Could Not Open Archive File For Reading", 255, true);
    open_failure_ = PlainErrorText(error);
    return false;
  }
  // The file opened must be the one looked at: a name replaced in between
  // (by a FIFO, a device, another file) is refused.
  struct stat opened {};
  if (::fstat(reader_.File().Descriptor(), &opened) != 0 || !S_ISREG(opened.st_mode) ||
      opened.st_dev != named.st_dev || opened.st_ino != named.st_ino) {
    reader_.Close();
    open_failure_ = "was replaced while it was being opened, not converted";
    LogError("Could Not Open Archive File For Reading: " + path + " " + open_failure_, 255, true);
    return false;
  }
  file_name_ = path;
  // The size of the file just opened (asking by name again would be one
  // more open that can fail).
  file_size_ = reader_.SizeAtOpen();

  bool times_valid = false;
  // A read error while the header, the first or the last block is read
  // leaves the start time or the geometry unknown: the archive is refused.
  if (file_size_ < 0 || !ReadArkHeader(times_valid) || input_error_ != 0) {
    LogError("Archive File Appears Corrupt, Could Not Read Header.", 255, true);
    if (open_failure_.empty()) open_failure_ = "the header could not be read: too few or too many value lines";
    return false;
  }

  arkheaderstruct& h = *header_;
  block_duration_ = h.FramesPerBlock * (h.MinorFrameRate > 0 ? 1.0 / h.MinorFrameRate : 1e-6);
  if (!times_valid) {
    h.StopTime = EstimateStopTime(h.StartTime, block_duration_, h.BlockSize, header_bytes_,
                                  static_cast<double>(file_size_));
    LogWarning("Can't read valid file stop time, or start = stop ...calculating the stop time", 255,
               true);
  }
  // The serial buffer was sized from the checked header when the first block
  // was read; the pass reuses it.
  return true;
}

bool orloarkclass::ReadArkHeader(bool& times_valid) {
  times_valid = false;
  ResetHeaderRecord();
  serial_buffer_.clear();
  serial_view_ = nullptr;
  header_bytes_ = 0;
  if (!IsOpen()) return false;
  SeekArk(0);

  std::string line;
  int32_t count = -1;
  ReadHeaderLine(line, count);
  if (reader_.ReadError() != 0) {
    NoteReadError(reader_.ReadError(), file_name_);
    return false;
  }
  if (line != kArchiveMagicLine) {
    LogError("THE FILE IS NOT A QUORVANT 8x FORMAT ARCHIVE FILE", 255, true);
    open_failure_ = std::string("not an archive: first line is not \"") + kArchiveMagicLine + "\"";
    CloseArkFile();
    return false;
  }

  // The value lines go into strings kept from one open to the next.
  size_t lines = 0;
  for (;;) {
    if (lines == header_lines_.size()) header_lines_.emplace_back();
    ReadHeaderLine(header_lines_[lines], count);
    if (count < 1) break;
    if (++lines == kMaxValueLines) break;
  }
  if (lines >= kMaxValueLines) {
    header_bytes_ = 0;
    return false;
  }
  // Reading stopped just past the terminator byte (LF or NUL), or at the end
  // of the file: the frame blocks start there, whatever the line ends were.
  header_bytes_ = static_cast<int32_t>(reader_.Position());
  if (reader_.ReadError() != 0) {
    NoteReadError(reader_.ReadError(), file_name_);
    return false;
  }

  if (!ParseValueLines(std::span<const std::string>(header_lines_.data(), lines), times_valid)) return false;
  if (!RefuseUnsafeGeometry()) return false;
  std::vector<double> first_times;
  ReadFirstAndLastBlockTimes(first_times);
  SeekToDataStart();
  return RefuseImplausibleRate(first_times);
}

void orloarkclass::ResetHeaderRecord() {
  // Rebuilt in place: the packed-bit converter may hold a reference to it.
  // Of the word table only the entries an earlier open filled can be other
  // than zero.
  arkheaderstruct& h = *header_;
  static_cast<arkheaderfieldsstruct&>(h) = arkheaderfieldsstruct{};
  std::memset(h.WordTable, 0, sizeof(decomwordstruct) * static_cast<size_t>(word_table_filled_));
  word_table_filled_ = 0;
}

bool orloarkclass::ParseValueLines(std::span<const std::string> lines, bool& times_valid) {
  arkheaderstruct& h = *header_;
  const size_t lines_read = lines.size();
  size_t k = 0;  // value lines consumed
  // Only the position of a line matters; lines past the end read as empty.
  auto next_value = [&]() -> std::string {
    ++k;
    return k <= lines_read ? TextAfter(lines[k - 1], ":") : std::string();
  };
  auto next_int = [&]() {
    int32_t value = 0;
    ParseDecimalInt(next_value(), value);
    return value;
  };
  auto next_real = [&]() {
    double value = 0.0;
    ParseFloatText(next_value(), value);
    return value;
  };
  auto consumed_ok = [&]() { return k <= lines_read; };

  h.HeaderValue1 = next_int();
  if (!consumed_ok()) return false;

  int32_t parse_error = 0;
  std::string start = next_value();
  std::string year_text = TextAfter(start, "YEAR");
  ParseDecimalInt(year_text, h.ArchiveYear);
  h.StartTime = ParseDayTime(year_text.empty() ? start : year_text, parse_error);

  std::string stop = next_value();
  std::string stop_text = TextBefore(stop, "YEAR");
  h.StopTime = ParseDayTime(stop_text.empty() ? stop : stop_text, parse_error);
  if (!consumed_ok()) return false;
  times_valid = h.StopTime > h.StartTime && h.StopTime <= kMaxArchiveTime;

  h.BlockSize = next_int();
  next_real();  // value line 5 is read and not used
  h.HeaderValue6 = next_int();
  h.SerialBytesPerBlock = next_int();
  h.StatusBytesPerBlock = next_int();
  if (!consumed_ok()) return false;
  // The status count places every later line and sizes the status reads:
  // refuse it before it is used.
  if (h.StatusBytesPerBlock < 0 || h.StatusBytesPerBlock > kMaxStatusBytesPerBlock) {
    RefuseHeader(open_failure_, "Archive Header Status Bytes Per Block Must Be 0 To 1024, Found " +
                 std::to_string(h.StatusBytesPerBlock));
    return false;
  }
  const int32_t n = h.StatusBytesPerBlock / 8;

  h.HeaderValue9 = next_int();
  if (!consumed_ok()) return false;
  h.WordsPerMinorFrame = next_int();
  h.NumMinorFrames = next_int();
  h.SfidStartCount = next_int();
  h.SfidWordNumber = next_int();
  h.RightAligned = next_value() == "YES";
  h.FramesPerBlock = next_int();
  h.HeaderValue16 = next_int();
  h.HeaderValue17 = next_int();
  h.SetupFileName = next_value();
  for (int32_t i = 0; i < n; ++i) h.StatusDescriptions[i] = next_value();
  next_value();  // 19 + n: not used
  h.MinorFrameRate = next_real();
  if (!consumed_ok()) return false;
  next_value();  // 21 + n: not used
  for (std::string& text : h.DescriptionTexts) text = next_value();
  next_value();  // 25 + n: not used
  if (!consumed_ok()) return false;

  h.FrameHeaderWords = kFrameHeaderWords;
  return true;
}

bool orloarkclass::RefuseUnsafeGeometry() {
  const arkheaderstruct& h = *header_;
  if (h.WordsPerMinorFrame < 1 || h.WordsPerMinorFrame > kWordTableEntries) {
    RefuseHeader(open_failure_, "Archive Header Words Per Minor Frame Must Be 1 To 16383, Found " +
                 std::to_string(h.WordsPerMinorFrame));
    return false;
  }
  if (h.FramesPerBlock < 1) {
    RefuseHeader(open_failure_, "Archive Header Frames Per Block Must Be At Least 1, Found " +
                 std::to_string(h.FramesPerBlock));
    return false;
  }
  if (h.SerialBytesPerBlock < 0 || h.SerialBytesPerBlock > kMaxSerialBytesPerBlock) {
    RefuseHeader(open_failure_, "Archive Header Serial Bytes Per Block Must Be 0 To 67108864, Found " +
                 std::to_string(h.SerialBytesPerBlock));
    return false;
  }
  // Every frame (its header words and its data words) must lie inside the
  // serial data of its block.
  const int64_t frame_bytes =
      static_cast<int64_t>(h.FramesPerBlock) * static_cast<int64_t>(FrameStrideBytes(h.WordsPerMinorFrame));
  if (frame_bytes > h.SerialBytesPerBlock) {
    RefuseHeader(open_failure_, "Archive Header Frames Do Not Fit The Block: " + std::to_string(h.FramesPerBlock) +
                 " Frames Of " + std::to_string(h.WordsPerMinorFrame) + " Words Need " +
                 std::to_string(frame_bytes) + " Serial Bytes, The Block Has " +
                 std::to_string(h.SerialBytesPerBlock));
    return false;
  }
  if (!std::isfinite(h.MinorFrameRate) || !(h.MinorFrameRate > 0.0)) {
    RefuseHeader(open_failure_, "Archive Header Minor Frame Rate Must Be A Number Above 0");
    return false;
  }

  // Blocks are read field by field, so a block size that disagrees with the
  // fields only misplaces the last-block time and the stop-time estimate.
  const int64_t field_bytes = FieldBlockBytes();
  if (h.BlockSize != field_bytes) {
    LogWarning("Archive Header Block Size " + std::to_string(h.BlockSize) +
                   " Differs From Its Fields, 12 + Serial + Status Bytes = " +
                   std::to_string(field_bytes),
               255, false);
  }
  return true;
}

bool orloarkclass::RefuseImplausibleRate(const std::vector<double>& first_times) {
  const arkheaderstruct& h = *header_;
  // A rate that the frame times plainly contradict would have every step
  // taken as a gap, filled (or lost) by the wrong count: the archive is
  // refused rather than converted at a rate it does not state.
  const frameratecheckstruct check =
      CheckHeaderFrameRate(first_times.data(), static_cast<int64_t>(first_times.size()), h.MinorFrameRate);
  if (check.contradicted) {
    RefuseHeader(open_failure_, "Archive Header Minor Frame Rate Of " + RateText(h.MinorFrameRate) +
                                  " Hz Disagrees With Its Frame Times, Which Show " + RateText(check.shown_rate) +
                                  " Hz In Their First " + std::to_string(check.steps) + " Steps");
    return false;
  }
  if (h.MinorFrameRate > kMaxFrameRate) {
    RefuseHeader(open_failure_, "Archive Header Minor Frame Rate Of " + RateText(h.MinorFrameRate) +
                                  " Hz Is Above " + RateText(kMaxFrameRate) +
                                  " Hz, Faster Than Its Microsecond Frame Times Can Follow");
    return false;
  }
  return true;
}

void orloarkclass::CollectFirstFrameTimes(std::vector<double>& times) {
  const size_t stride = FrameStrideBytes(header_->WordsPerMinorFrame);
  const int64_t block_bytes = FieldBlockBytes();
  auto take_block = [&] {
    const size_t frames = WholeFramesInBlock(header_->FramesPerBlock, serial_buffer_.size(), stride);
    for (size_t k = 0; k < frames && times.size() <= kRateCheckSteps; ++k) {
      double time = 0.0;
      int32_t sfid = 0, state_a = 0, state_b = 0;
      DecodeFrameHeader(SerialData() + k * stride, time, sfid, state_a, state_b);
      times.push_back(time);
    }
  };
  take_block();
  // Only whole blocks are read here: the pass reads (and reports) a last
  // block cut short itself.
  for (int64_t blocks = 1; times.size() <= kRateCheckSteps; ++blocks) {
    if (blocks >= kRateCheckBlocks && blocks * block_bytes > kRateCheckBytes) break;
    if (file_position_ + block_bytes > file_size_) break;
    ReadNextBlock();
    if (end_of_data_) break;
    take_block();
  }
}

void orloarkclass::ReadFirstAndLastBlockTimes(std::vector<double>& first_times) {
  arkheaderstruct& h = *header_;
  serial_buffer_.assign(static_cast<size_t>(h.SerialBytesPerBlock), 0);
  serial_view_ = nullptr;
  SeekToDataStart();
  end_of_data_ = false;
  ReadNextBlock();
  // Without a first block (the file ends after its header) the header's
  // start time stands.
  first_frame_time_ = h.StartTime;
  if (!end_of_data_ && serial_buffer_.size() >= kFrameHeaderBytes) {
    double time = 0.0;
    int32_t sfid = 0, state_a = 0, state_b = 0;
    DecodeFrameHeader(SerialData(), time, sfid, state_a, state_b);
    first_frame_time_ = time;
    h.StartTime = time;
    CollectFirstFrameTimes(first_times);
    // What the pass will find: the first block was there.
    end_of_data_ = false;
  }

  SeekToDataStart();
  double last = -1.0;
  if (ReadLastBlockTime(last) && last >= h.StartTime && last < kYearEndTime) h.StopTime = last;
}

int64_t orloarkclass::WholeFrameCount() const {
  const int64_t data_bytes = file_size_ - header_bytes_;
  if (data_bytes <= 0) return 0;
  const size_t frames = WholeFramesInBlock(header_->FramesPerBlock, serial_buffer_.size(),
                                           FrameStrideBytes(header_->WordsPerMinorFrame));
  return data_bytes / FieldBlockBytes() * static_cast<int64_t>(frames);
}

void orloarkclass::ReadHeaderLine(std::string& text, int32_t& count) {
  text.clear();
  count = -1;
  // Byte by byte through what the reader holds: the same lines and counts
  // as reading the file one byte at a time, at one read per block. At the
  // end of the file (or a failed read) the line ends where it is.
  for (bool complete = false; !complete;) {
    size_t got = 0;
    const uint8_t* bytes = reader_.View(1, got);
    if (got == 0) break;
    const size_t held = reader_.Buffered();
    size_t used = 0;
    while (used < held && !complete) {
      // The bytes before the next CR, LF or NUL go in as one run, as far as
      // the line's count keeps them, as TakeHeaderByte would take them one
      // by one; the byte after the run is taken on its own.
      const std::string_view rest(reinterpret_cast<const char*>(bytes) + used, held - used);
      size_t run = std::min(rest.find_first_of(std::string_view("\r\n\0", 3)), rest.size());
      run = std::min<size_t>(run, count < kLineCountLimit ? static_cast<size_t>(kLineCountLimit - count) : 0);
      text.append(rest.data(), run);
      count += static_cast<int32_t>(run);
      used += run;
      if (used < held) complete = TakeHeaderByte(bytes[used++], text, count);
    }
    reader_.Consume(used);
  }
  file_position_ = reader_.Position();
}

int64_t orloarkclass::SeekArk(int64_t offset) {
  if (reader_.Seek(offset)) {
    file_position_ = offset;
  } else {
    int error = reader_.File().LastError();
    LogInfo("Cannot Seek File " + SystemErrorText(error), error, false);
  }
  return file_position_;
}

void orloarkclass::SeekToDataStart() { SeekArk(header_bytes_); }

bool orloarkclass::ReadLastBlockTime(double& time) {
  time = -1.0;
  if (!IsOpen()) return false;
  const int64_t block_size = header_->BlockSize;
  if (block_size <= 0) return false;
  const int64_t blocks = (file_size_ - header_bytes_) / block_size;
  // Without one whole block there is no block time to read: the bytes
  // before the data start are header text.
  if (blocks < 1) return false;

  const int64_t remembered = file_position_;
  const int64_t target = header_bytes_ + (blocks - 1) * block_size;
  if (SeekArk(target) != target) return false;
  double block_time = 0.0;
  int64_t got = reader_.Read(&block_time, sizeof block_time);
  file_position_ = reader_.Position();
  if (got != static_cast<int64_t>(sizeof block_time) && reader_.ReadError() != 0)
    NoteReadError(reader_.ReadError(), file_name_);
  SeekArk(remembered);
  if (got != static_cast<int64_t>(sizeof block_time)) return false;
  time = block_time;
  return time >= kMinArchiveTime && time <= kMaxArchiveTime;
}

double orloarkclass::EstimateStopTime(double start, double block_duration, double block_size,
                                      double header_bytes, double file_size) {
  const double data_bytes = file_size - header_bytes;
  if (!(data_bytes > 0)) return kYearEndTime;
  const double fallback = start + 86400.0;
  if (!(block_size > 0) || !(block_duration > 0)) return fallback;
  const double estimate = start + block_duration * (data_bytes / block_size);
  if (estimate > kYearEndTime || estimate == start) return fallback;
  return estimate;
}

void orloarkclass::ApplyDecomSetup() {
  // Made at the first open and reused: ReadSetupFile sets the whole record
  // to the defaults before it reads anything, so nothing of an earlier
  // setup file carries over.
  if (!setup_record_) setup_record_ = std::make_unique<decomsetupstruct>();
  int read_error = 0;
  setup_file_used_ = ReadArchiveSetupFile(file_name_, *header_, *setup_record_, setup_file_problem_,
                                         read_error, setup_file_check_);
  if (read_error != 0) NoteReadError(read_error, "the setup file " + header_->SetupFileName);
  if (setup_file_used_) {
    FillSetupFromRecord(*header_, *setup_record_);
  } else {
    const int32_t common_word_length = PromptCommonWordLength();
    const int32_t sfid_msb = PromptSfidMsb(header_->NumMinorFrames, header_->SfidStartCount);
    FillSetupFromAnswers(*header_, *setup_record_, common_word_length, sfid_msb);
  }
  // Both fill the frame's words of the table (see ResetHeaderRecord).
  word_table_filled_ =
      std::max(word_table_filled_, std::clamp(header_->WordsPerMinorFrame, 0, kWordTableEntries));
}

void orloarkclass::NoteReadError(int error_number, const std::string& path) {
  if (input_error_ != 0) return;
  input_error_ = error_number;
  // While the archive is being opened this is why the open failed.
  if (!open_complete_ && open_failure_.empty()) open_failure_ = path + " could not be read: " + PlainErrorText(error_number);
  LogError("Could not read " + path + ": " + SystemErrorText(error_number), error_number, true);
}

void orloarkclass::CloseArkFile() {
  serial_view_ = nullptr;
  // The reader's buffers go too: a closed archive holds no memory for them.
  if (!reader_.Close()) NoteReadError(reader_.File().LastError(), file_name_);
}
