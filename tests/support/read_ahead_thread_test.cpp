// The read-ahead thread: pieces in file order, a stop that still makes the
// read it was asked for (so the reads of a run do not depend on timing),
// no thread where only one processor may run it, and the disk asked for
// the window ahead of the reads, no less and no further.
#include "support/read_ahead_thread.h"

#include <fcntl.h>
#include <gtest/gtest.h>
#include <sched.h>
#include <sys/mman.h>
#include <unistd.h>

#include <chrono>
#include <cstdint>
#include <thread>
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
  bool started = false;
  readaheadthreadclass thread;
  {
    testutil::OneProcessorScope pinned;
    ASSERT_TRUE(pinned.Ok());
    started = thread.Start(file_);
  }
  EXPECT_FALSE(started);
  EXPECT_FALSE(thread.Running());
}

// Whether each page of [from, to) of the file is in the page cache.
std::vector<bool> PagesCached(int fd, int64_t from, int64_t to) {
  std::vector<bool> cached;
  void* map = ::mmap(nullptr, static_cast<size_t>(to - from), PROT_READ, MAP_SHARED, fd, from);
  if (map == MAP_FAILED) return cached;
  const int64_t page = ::sysconf(_SC_PAGESIZE);
  std::vector<unsigned char> in((static_cast<size_t>(to - from) + page - 1) / page);
  if (::mincore(map, static_cast<size_t>(to - from), in.data()) == 0)
    for (unsigned char flag : in) cached.push_back((flag & 1) != 0);
  ::munmap(map, static_cast<size_t>(to - from));
  return cached;
}

bool AllOf(const std::vector<bool>& flags, bool value) {
  if (flags.empty()) return false;
  for (bool flag : flags)
    if (flag != value) return false;
  return true;
}

TEST_F(ReadAheadThreadTest, TheWindowPastEachWholeReadIsAskedOfTheDisk) {
  if (!TwoProcessors()) GTEST_SKIP() << "one processor: no read-ahead thread";
  constexpr int64_t kMiB = 1 << 20;
  // 32 MiB on the disk and out of the page cache, the kernel's own
  // read-ahead turned off: a read of 1 MiB at 4 MiB with a window of 8 MiB
  // must bring in 5 to 13 MiB without anyone reading it, and nothing past.
  std::vector<uint8_t> big(static_cast<size_t>(32 * kMiB), 0x5A);
  const std::string path = dir_.File("big.bin");
  testutil::WriteAllBytes(path, big.data(), big.size());
  PlatformFile file;
  ASSERT_TRUE(file.OpenRead(path));
  ASSERT_EQ(::fdatasync(file.Descriptor()), 0);
  ::posix_fadvise(file.Descriptor(), 0, 0, POSIX_FADV_RANDOM);
  ::posix_fadvise(file.Descriptor(), 0, 0, POSIX_FADV_DONTNEED);
  if (!AllOf(PagesCached(file.Descriptor(), 0, 32 * kMiB), false))
    GTEST_SKIP() << "the file system keeps the file in memory";
  ASSERT_TRUE(file.Seek(4 * kMiB));

  readaheadthreadclass thread;
  ASSERT_TRUE(thread.Start(file, 8 * kMiB));
  std::vector<uint8_t> piece(static_cast<size_t>(kMiB));
  thread.Request(piece.data(), kMiB);
  ASSERT_EQ(thread.Wait(), kMiB);
  // The disk reads the window on its own time.
  const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(20);
  while (!AllOf(PagesCached(file.Descriptor(), 5 * kMiB, 13 * kMiB), true) &&
         std::chrono::steady_clock::now() < deadline)
    std::this_thread::sleep_for(std::chrono::milliseconds(10));
  EXPECT_TRUE(AllOf(PagesCached(file.Descriptor(), 5 * kMiB, 13 * kMiB), true));
  EXPECT_TRUE(AllOf(PagesCached(file.Descriptor(), 13 * kMiB, 32 * kMiB), false));
}

}  // namespace
