// Reading the archive's frame blocks, one after another, into the archive
// object's buffers. A block is: block time (8 bytes), two spare bytes, the
// block run count (2 bytes), the serial data (the frames) and the status
// data. The fields are drawn from a 1 MiB read-ahead buffer, so a pass makes
// one system call per MiB of archive, not several per block; nothing is
// allocated per block.
#include <algorithm>
#include <cstdint>
#include <cstring>

#include "archive/archive_reader.h"
#include "archive/ark_header.h"
#include "support/error_log.h"

void orloarkclass::ReadNextBlock() {
  if (!IsOpen()) return;
  if (FilePosition >= FileSize) {
    EndOfData = true;
    return;
  }
  if (!GroupReadToBufs(EndOfData)) EndOfData = true;
}

namespace {
constexpr size_t kReadAheadBytes = 1 << 20;
}  // namespace

void orloarkclass::DropReadAhead() {
  if (read_ahead_pos_ < read_ahead_len_) file_.Seek(FilePosition);
  read_ahead_pos_ = read_ahead_len_ = 0;
}

int64_t orloarkclass::ReadAhead(uint8_t* into, int64_t size) {
  int64_t done = 0;
  while (done < size) {
    if (read_ahead_pos_ == read_ahead_len_) {
      const int64_t wanted = size - done;
      // A field as large as the buffer goes straight to its destination.
      if (wanted >= static_cast<int64_t>(kReadAheadBytes)) {
        done += file_.Read(into + done, wanted);
        break;
      }
      if (read_ahead_.empty()) read_ahead_.resize(kReadAheadBytes);
      read_ahead_pos_ = 0;
      read_ahead_len_ = static_cast<size_t>(file_.Read(read_ahead_.data(), kReadAheadBytes));
      if (read_ahead_len_ == 0) break;  // end of file or a read error
    }
    const size_t n = std::min(read_ahead_len_ - read_ahead_pos_, static_cast<size_t>(size - done));
    std::memcpy(into + done, read_ahead_.data() + read_ahead_pos_, n);
    read_ahead_pos_ += n;
    done += static_cast<int64_t>(n);
  }
  return done;
}

bool orloarkclass::ReadBlockField(void* into, int64_t size, const char* short_text) {
  int64_t got = ReadAhead(static_cast<uint8_t*>(into), size);
  FilePosition += got;  // what was delivered counts, also on a short read
  if (got == size) return true;
  LogInfo(short_text, 255, false);
  return false;
}

bool orloarkclass::GroupReadToBufs(bool& end_flag) {
  end_flag = true;
  // A pass still running at shutdown stops here, silently.
  if (IsProgramClosing() || !IsOpen()) return false;
  // A file that ends inside this block leaves these bytes unconverted.
  const int64_t block_start = FilePosition;
  auto short_block = [&] {
    PartialBlockBytes = FilePosition - block_start;
    return false;
  };

  if (!ReadBlockField(&BlockTime, sizeof BlockTime, "GroupReadToBufs fail, blocksizetoy"))
    return short_block();
  uint8_t spare = 0;
  if (!ReadBlockField(&spare, 1, "GroupReadToBufs fail, blocksizespare1")) return short_block();
  if (!ReadBlockField(&spare, 1, "GroupReadToBufs fail, blocksizespare2")) return short_block();
  uint16_t run_count = 0;
  if (!ReadBlockField(&run_count, sizeof run_count, "GroupReadToBufs fail, blocksizerun"))
    return short_block();
  BlockRunCount = run_count;

  if (SerialBuffer.empty()) return false;
  // The status size was checked when the header was read; a header that
  // failed that check never gets here with a serial buffer, but the status
  // buffer's bound is kept regardless.
  int32_t status_bytes = header_->StatusBytesPerBlock;
  if (status_bytes < 0 || status_bytes > kMaxStatusBytesPerBlock) return false;

  if (!ReadBlockField(SerialBuffer.data(), static_cast<int64_t>(SerialBuffer.size()),
                      "GroupReadToBufs fail, numserialbytes"))
    return short_block();
  if (!ReadBlockField(StatusBuffer, status_bytes, "GroupReadToBufs fail, numstatusbytes"))
    return short_block();

  end_flag = false;
  return true;
}
