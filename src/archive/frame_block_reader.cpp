// Reading the archive's frame blocks, one after another, into the archive
// object's buffers. A block is: block time (8 bytes), two spare bytes, the
// block run count (2 bytes), the serial data (the frames) and the status
// data. The fields are copied from mapped windows of the archive (see
// support/mapped_reader.h): a pass makes no system call per block, and each
// byte is copied once, from the cached archive straight into the block
// buffers. Nothing is allocated per block.
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

void orloarkclass::DropReadAhead() { file_.Seek(FilePosition); }

int64_t orloarkclass::ReadAhead(uint8_t* into, int64_t size) {
  // Seeks and direct reads of the file (header lines, the last block time)
  // move FilePosition without the block reader: it follows here.
  if (block_reader_.Position() != FilePosition) block_reader_.Seek(FilePosition);
  // Short only at the end of the file or on a read error (a vanished page
  // of a file truncated under the mapping reads as EIO).
  return block_reader_.Read(into, size);
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
