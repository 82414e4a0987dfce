// The read-ahead thread: pieces in file order, a stop that still makes the
// read it was asked for (so the reads of a run do not depend on timing),
// and no thread where only one processor may run it.
#include "support/read_ahead_thread.h"

#include <gtest/gtest.h>
#include <sched.h>

#include <cstdint>
#include <vector>

#include "common/test_helpers.h"

namespace {

class ReadAheadThreadTest : public ::testing::Test {
 protected:
  void SetUp() override {
    bytes_.resize(1000);
    for (size_t i = 0; i < bytes_.size(); ++i) bytes_[i] = static_cast<uint8_t>(i * 7 + 3);
    testutil::WriteAllBytes(path_, bytes_.data(), bytes_.size());
    ASSERT_TRUE(file_.OpenRead(path_));
  }
  // Skips the test where this process may use one processor only.
  bool TwoProcessors() {
    cpu_set_t set;
    CPU_ZERO(&set);
    return sched_getaffinity(0, sizeof set, &set) == 0 && CPU_COUNT(&set) >= 2;
  }

  testutil::TempDir dir_;
  std::string path_ = dir_.File("data.bin");
  std::vector<uint8_t> bytes_;
  PlatformFile file_;
};

TEST_F(ReadAheadThreadTest, PiecesArriveInFileOrderUpToTheEnd) {
  if (!TwoProcessors()) GTEST_SKIP() << "one processor: no read-ahead thread";
  readaheadthreadclass thread;
  ASSERT_TRUE(thread.Start(file_));
  std::vector<uint8_t> read;
  std::vector<uint8_t> piece(300);
  for (int64_t want : {300, 300, 300, 300}) {
    thread.Request(piece.data(), want);
    EXPECT_TRUE(thread.Pending());
    const int64_t got = thread.Wait();
    EXPECT_FALSE(thread.Pending());
    read.insert(read.end(), piece.begin(), piece.begin() + got);
  }
  EXPECT_EQ(read, bytes_);  // 300, 300, 300, then the last 100, then nothing
  thread.Stop();
  EXPECT_FALSE(thread.Running());
  EXPECT_EQ(thread.Wait(), 0);  // nothing asked for
}

TEST_F(ReadAheadThreadTest, StopMakesTheReadAskedForFirst) {
  if (!TwoProcessors()) GTEST_SKIP() << "one processor: no read-ahead thread";
  readaheadthreadclass thread;
  ASSERT_TRUE(thread.Start(file_));
  std::vector<uint8_t> piece(400, 0);
  thread.Request(piece.data(), 400);
  thread.Stop();
  EXPECT_EQ(std::vector<uint8_t>(piece.begin(), piece.end()),
            std::vector<uint8_t>(bytes_.begin(), bytes_.begin() + 400));
  EXPECT_EQ(file_.Tell(), 400);
}

TEST_F(ReadAheadThreadTest, NoThreadOnOneProcessor) {
  cpu_set_t before;
  CPU_ZERO(&before);
  ASSERT_EQ(sched_getaffinity(0, sizeof before, &before), 0);
  cpu_set_t one;
  CPU_ZERO(&one);
  for (int cpu = 0; cpu < CPU_SETSIZE; ++cpu) {
    if (CPU_ISSET(cpu, &before)) {
      CPU_SET(cpu, &one);
      break;
    }
  }
  ASSERT_EQ(sched_setaffinity(0, sizeof one, &one), 0);
  readaheadthreadclass thread;
  const bool started = thread.Start(file_);
  ASSERT_EQ(sched_setaffinity(0, sizeof before, &before), 0);
  EXPECT_FALSE(started);
  EXPECT_FALSE(thread.Running());
}

}  // namespace
