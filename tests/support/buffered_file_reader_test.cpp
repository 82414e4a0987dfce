// The buffered reader's edges, each a script of views, reads and seeks over
// one file of bytes that never repeat in step: views across the buffer's
// end and longer than it or than the whole file, seeks, the end of the file
// inside a view, failed reads (through the file fault seam) on the caller's
// thread and on the read-ahead thread, and a thread stopped by a large view
// or a seek.
#include "support/buffered_file_reader.h"

#include <gtest/gtest.h>

#include <cerrno>
#include <cstring>
#include <iterator>
#include <optional>
#include <random>
#include <string>
#include <vector>

#include "common/test_helpers.h"

namespace {

constexpr int64_t kFileBytes = 4096;

struct Step {
  enum Kind { View, Peek, Read, Seek, Walk, Thread } kind;
  int64_t n;     // bytes asked for, the offset of a seek
  // Bytes delivered (Walk: views of n in all, stopping there or at the
  // first short view; Thread: 1 when it runs where two processors are).
  int64_t want;
  int64_t want_without_thread = -1;  // when it differs
};

struct Case {
  const char* name;
  size_t block_bytes;
  size_t piece_bytes;  // 0: no thread
  int64_t failing_read;  // the read call that fails with EIO (0: none)
  std::vector<Step> steps;
  int want_error;
};

TEST(BufferedFileReaderTest, DeliversTheFileExactlyAtEveryEdge) {
  testutil::TempDir dir;
  const std::string path = dir.File("data.bin");
  std::vector<uint8_t> file(kFileBytes);
  std::mt19937 random(21);
  for (uint8_t& byte : file) byte = static_cast<uint8_t>(random());
  testutil::WriteAllBytes(path, file.data(), file.size());
  // Each script runs as it comes, then on one processor only (no thread).

  using S = Step;
  const Case cases[] = {
      {"views across the block's end, longer than it, and past the end of the file", 64, 0, 0,
       {{S::View, 24, 24}, {S::View, 24, 24}, {S::View, 24, 24}, {S::Peek, 200, 200}, {S::View, 200, 200},
        {S::Seek, 4090, 0}, {S::Peek, 24, 6}, {S::Peek, 24, 6}, {S::View, 6, 6}, {S::View, 1, 0}},
       0},
      // The buffer never grows past the file's size: a view longer than the
      // whole file gets the file and ends there.
      {"a view longer than the whole file, from its first byte", 8192, 0, 0,
       {{S::Peek, 5000, kFileBytes}, {S::View, kFileBytes + 1, kFileBytes}, {S::View, 1, 0}},
       0},
      {"copying reads, large ones straight to their place, around seeks", 64, 0, 0,
       {{S::Read, 10, 10}, {S::Seek, 3000, 0}, {S::Read, 100, 100}, {S::View, 30, 30}, {S::Seek, 5, 0},
        {S::View, 64, 64}, {S::Read, 5000, kFileBytes - 69}, {S::Read, 1, 0}},
       0},
      {"a failed read ends the data until a seek", 64, 0, 2,
       {{S::View, 64, 64}, {S::View, 10, 0}, {S::View, 10, 0}, {S::Read, 10, 0}, {S::Seek, 64, 0},
        {S::View, 10, 10}, {S::Walk, 50, 4000}, {S::View, 50, 22}},
       EIO},
      {"the thread reads on; a large view and a seek stop it, the bytes stay exact", 64, 256, 0,
       {{S::Walk, 24, 24 * 6}, {S::Thread, 0, 1}, {S::View, 300, 300}, {S::Thread, 0, 0},
        {S::Walk, 24, 24 * 40}, {S::Thread, 0, 1}, {S::Seek, 1001, 0}, {S::Thread, 0, 0},
        {S::Walk, 24, 3072}, {S::View, 24, 23}, {S::Thread, 0, 0}},
       0},
      // Reads 1 and 2 fill the buffer (64 bytes, then 48 behind the 16 left),
      // 3 is the thread's first piece, 4 its second; without a thread the
      // fourth read is a refill at byte 160.
      {"a failed read on the thread ends the data after the pieces before it", 64, 256, 4,
       {{S::Walk, 24, 360, 144}, {S::Peek, 24, 8, 16}, {S::View, 24, 8, 16}, {S::View, 24, 0}}, EIO},
  };
  for (size_t run = 0; run < 2 * std::size(cases); ++run) {
    const Case& c = cases[run % std::size(cases)];
    const bool pinned = run >= std::size(cases);
    SCOPED_TRACE(std::string(c.name) + (pinned ? ", one processor" : ""));
    std::optional<testutil::OneProcessorScope> one_processor;
    if (pinned) {
      ASSERT_TRUE(one_processor.emplace().Ok());
    }
    const bool threads = UsableProcessors() >= 2;
    bufferedfilereaderclass reader({c.block_bytes, c.piece_bytes, 0});
    ASSERT_TRUE(reader.Open(path));
    if (c.failing_read > 0) SetFileCallFault(path, FileOperation::Read, c.failing_read, EIO);
    for (const Step& step : c.steps) {
      SCOPED_TRACE("step " + std::to_string(&step - c.steps.data()));
      const int64_t at = reader.Position();
      const bool thread_case = threads && c.piece_bytes > 0;
      const int64_t want = !thread_case && step.want_without_thread >= 0 ? step.want_without_thread : step.want;
      int64_t delivered = 0;
      switch (step.kind) {
        case S::View:
        case S::Peek: {
          size_t got = 0;
          const uint8_t* bytes = reader.View(static_cast<size_t>(step.n), got);
          ASSERT_EQ(static_cast<int64_t>(got), want);
          EXPECT_EQ(0, std::memcmp(bytes, file.data() + at, got));
          if (step.kind == S::View) reader.Consume(got);
          delivered = step.kind == S::View ? static_cast<int64_t>(got) : 0;
          break;
        }
        case S::Read: {
          std::vector<uint8_t> into(static_cast<size_t>(step.n));
          delivered = reader.Read(into.data(), step.n);
          ASSERT_EQ(delivered, want);
          EXPECT_EQ(0, std::memcmp(into.data(), file.data() + at, static_cast<size_t>(delivered)));
          break;
        }
        case S::Seek:
          ASSERT_TRUE(reader.Seek(step.n));
          EXPECT_EQ(reader.Position(), step.n);
          continue;
        case S::Walk: {
          while (delivered < want) {
            size_t got = 0;
            const uint8_t* bytes = reader.View(static_cast<size_t>(step.n), got);
            if (got < static_cast<size_t>(step.n)) break;
            ASSERT_EQ(0, std::memcmp(bytes, file.data() + at + delivered, got)) << at + delivered;
            reader.Consume(got);
            delivered += static_cast<int64_t>(got);
          }
          EXPECT_EQ(delivered, want);
          break;
        }
        case S::Thread:
          EXPECT_EQ(reader.ThreadRunning(), threads && want != 0);
          continue;
      }
      EXPECT_EQ(reader.Position(), at + delivered);
    }
    ClearFileCallFault();
    EXPECT_EQ(reader.ReadError(), c.want_error);
  }
}

}  // namespace
