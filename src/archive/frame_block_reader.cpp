// Reading the archive's frame blocks, one after another, straight into the
// archive object's buffers. A block is: block time (8 bytes), two spare
// bytes, the block run count (2 bytes), the serial data (the frames) and the
// status data. Each field is one read call; nothing is allocated per block.
#include <cstdint>

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

bool orloarkclass::ReadBlockField(void* into, int64_t size, const char* short_text) {
  int64_t got = file_.Read(into, size);
  FilePosition += got;  // what was delivered counts, also on a short read
  if (got == size) return true;
  LogInfo(short_text, 255, false);
  return false;
}

bool orloarkclass::GroupReadToBufs(bool& end_flag) {
  end_flag = true;
  // A pass still running at shutdown stops here, silently.
  if (IsProgramClosing() || !IsOpen()) return false;

  if (!ReadBlockField(&BlockTime, sizeof BlockTime, "GroupReadToBufs fail, blocksizetoy"))
    return false;
  uint8_t spare = 0;
  if (!ReadBlockField(&spare, 1, "GroupReadToBufs fail, blocksizespare1")) return false;
  if (!ReadBlockField(&spare, 1, "GroupReadToBufs fail, blocksizespare2")) return false;
  uint16_t run_count = 0;
  if (!ReadBlockField(&run_count, sizeof run_count, "GroupReadToBufs fail, blocksizerun"))
    return false;
  BlockRunCount = run_count;

  if (SerialBuffer.empty()) return false;
  // The status size was checked when the header was read; a header that
  // failed that check never gets here with a serial buffer, but the status
  // buffer's bound is kept regardless.
  int32_t status_bytes = header_->StatusBytesPerBlock;
  if (status_bytes < 0 || status_bytes > kMaxStatusBytesPerBlock) return false;

  if (!ReadBlockField(SerialBuffer.data(), static_cast<int64_t>(SerialBuffer.size()),
                      "GroupReadToBufs fail, numserialbytes"))
    return false;
  if (!ReadBlockField(StatusBuffer, status_bytes, "GroupReadToBufs fail, numstatusbytes"))
    return false;

  end_flag = false;
  return true;
}
