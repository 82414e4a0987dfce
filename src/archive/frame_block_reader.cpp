// Reading the archive's frame blocks, one after another, into the archive
// object's buffers. A block is: block time (8 bytes), two spare bytes, the
// block run count (2 bytes), the serial data (the frames) and the status
// data. Blocks are drawn from the buffered reader (buffered_file_reader),
// so a pass makes one system call per 256 KiB of archive, not several per
// block. A block that lies whole in the buffer is used where it lies: its
// serial data is not copied. Nothing is allocated per block.
#include <algorithm>
#include <cstdint>
#include <cstring>

#include "archive/archive_reader.h"
#include "archive/ark_header.h"
#include "support/error_log.h"

void orloarkclass::ReadNextBlock() {
  if (!IsOpen()) return;
  if (file_position_ >= file_size_) {
    end_of_data_ = true;
    return;
  }
  if (!GroupReadToBufs(end_of_data_)) end_of_data_ = true;
}

bool orloarkclass::ReadBlockField(void* into, int64_t size, const char* short_text) {
  int64_t got = reader_.Read(into, size);
  file_position_ = reader_.Position();  // what was delivered counts, also on a short read
  if (got == size) return true;
  LogInfo(short_text, 255, false);
  if (reader_.ReadError() != 0) NoteReadError(reader_.ReadError(), file_name_);
  return false;
}

bool orloarkclass::GroupReadToBufs(bool& end_flag) {
  end_flag = true;
  // A pass still running at shutdown stops here, silently.
  if (IsProgramClosing() || !IsOpen()) return false;
  if (ReadWholeBlockInPlace()) {
    end_flag = false;
    return true;
  }
  serial_view_ = nullptr;  // what this reading delivers goes to the serial buffer
  // A file that ends inside this block leaves these bytes unconverted.
  const int64_t block_start = file_position_;
  auto short_block = [&] {
    partial_block_bytes_ = file_position_ - block_start;
    return false;
  };

  // The prefix field by field, so that a short file names the field it
  // ends in; each field lands at its offset, as in the whole-block reading.
  uint8_t prefix[kBlockPrefixBytes] = {};
  if (!ReadBlockField(prefix + kBlockTimeOffset, sizeof block_time_, "GroupReadToBufs fail, blocksizetoy"))
    return short_block();
  std::memcpy(&block_time_, prefix + kBlockTimeOffset, sizeof block_time_);
  if (!ReadBlockField(prefix + kBlockSpareOffset, 1, "GroupReadToBufs fail, blocksizespare1"))
    return short_block();
  if (!ReadBlockField(prefix + kBlockSpareOffset + 1, 1, "GroupReadToBufs fail, blocksizespare2"))
    return short_block();
  if (!ReadBlockField(prefix + kBlockRunCountOffset, sizeof block_run_count_, "GroupReadToBufs fail, blocksizerun"))
    return short_block();
  std::memcpy(&block_run_count_, prefix + kBlockRunCountOffset, sizeof block_run_count_);

  if (serial_buffer_.empty()) return false;
  // The status size was checked when the header was read; a header that
  // failed that check never gets here with a serial buffer, but the status
  // buffer's bound is kept regardless.
  int32_t status_bytes = header_->StatusBytesPerBlock;
  if (status_bytes < 0 || status_bytes > kMaxStatusBytesPerBlock) return false;

  if (!ReadBlockField(serial_buffer_.data(), static_cast<int64_t>(serial_buffer_.size()),
                      "GroupReadToBufs fail, numserialbytes"))
    return short_block();
  if (!ReadBlockField(status_buffer_, status_bytes, "GroupReadToBufs fail, numstatusbytes"))
    return short_block();

  end_flag = false;
  return true;
}

bool orloarkclass::ReadWholeBlockInPlace() {
  const int64_t serial_bytes = static_cast<int64_t>(serial_buffer_.size());
  const int32_t status_bytes = header_->StatusBytesPerBlock;
  if (serial_bytes == 0 || status_bytes < 0 || status_bytes > kMaxStatusBytesPerBlock) return false;
  const size_t block_bytes = static_cast<size_t>(kBlockPrefixBytes + serial_bytes + status_bytes);
  // A file that ends inside the block, or a read error, is left to the
  // field by field reading, which reports the field that came up short.
  size_t got = 0;
  const uint8_t* block = reader_.View(block_bytes, got);
  if (got < block_bytes) return false;
  // The frames are read as bytes, so the serial data may lie at any address.
  const uint8_t* serial = block + kBlockPrefixBytes;
  serial_view_ = serial;
  std::memcpy(&block_time_, block + kBlockTimeOffset, sizeof block_time_);
  std::memcpy(&block_run_count_, block + kBlockRunCountOffset, sizeof block_run_count_);
  std::memcpy(status_buffer_, serial + serial_bytes, static_cast<size_t>(status_bytes));
  reader_.Consume(block_bytes);
  file_position_ = reader_.Position();
  return true;
}
