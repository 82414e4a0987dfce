// MappedFileReader and the SIGBUS guard: byte-exact sequential reads across
// window boundaries, seeks, the read fallback for pipes and /proc files,
// files truncated under a mapping, and that a SIGBUS outside a guarded copy
// still ends the process.
#include "support/mapped_reader.h"

#include <gtest/gtest.h>

#include <sys/mman.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <csignal>
#include <cstring>
#include <fstream>
#include <string>
#include <thread>
#include <vector>

#include "common/test_helpers.h"
#include "support/guarded_copy.h"
#include "support/platform_file.h"

namespace {

// Bytes that differ from their neighbours and repeat only after a long run,
// so a byte read from the wrong offset shows.
std::vector<uint8_t> Pattern(size_t size) {
  std::vector<uint8_t> bytes(size);
  uint32_t x = 0x12345678u;
  for (size_t i = 0; i < size; ++i) {
    x = x * 1664525u + 1013904223u;
    bytes[i] = static_cast<uint8_t>(x >> 24);
  }
  return bytes;
}

const int64_t kPage = sysconf(_SC_PAGESIZE);

class MappedReaderTest : public ::testing::Test {
 protected:
  std::string WriteFile(const std::vector<uint8_t>& bytes) {
    const std::string path = dir_.File("data.bin");
    testutil::WriteAllBytes(path, bytes.data(), bytes.size());
    return path;
  }
  testutil::TempDir dir_;
};

// Odd read sizes, some far above the window, against read() of the same
// sizes on a second descriptor.
TEST_F(MappedReaderTest, SequentialReadsMatchReadAcrossWindowBoundaries) {
  const int64_t window = 4 * kPage;
  const std::vector<uint8_t> bytes = Pattern(static_cast<size_t>(13 * window + 777));
  const std::string path = WriteFile(bytes);
  PlatformFile mapped_file, plain_file;
  ASSERT_TRUE(mapped_file.OpenRead(path));
  ASSERT_TRUE(plain_file.OpenRead(path));
  MappedFileReader reader(window);
  reader.Start(mapped_file, 0);

  const int64_t sizes[] = {1, 7, kPage - 1, window, 3, window + 5, 3 * window + 1, 12, 2 * kPage};
  std::vector<uint8_t> got(static_cast<size_t>(4 * window)), want(got.size());
  int64_t offset = 0;
  bool saw_mapping = false;
  for (size_t i = 0; offset < static_cast<int64_t>(bytes.size()); ++i) {
    const int64_t n = sizes[i % (sizeof sizes / sizeof sizes[0])];
    const int64_t from_reader = reader.Read(got.data(), n);
    saw_mapping = saw_mapping || reader.HoldsMapping();
    const int64_t from_read = plain_file.Read(want.data(), n);
    ASSERT_EQ(from_reader, from_read) << "at " << offset;
    ASSERT_EQ(0, std::memcmp(got.data(), want.data(), static_cast<size_t>(from_read)))
        << "at " << offset;
    offset += from_read;
    ASSERT_EQ(reader.Position(), offset);
    if (from_read < n) {
      EXPECT_EQ(reader.LastError(), 0);  // the end, not an error
    }
  }
  EXPECT_EQ(offset, static_cast<int64_t>(bytes.size()));
  EXPECT_TRUE(saw_mapping);
  // At the end: nothing more, no error, and no window kept.
  EXPECT_EQ(reader.Read(got.data(), 10), 0);
  EXPECT_EQ(reader.LastError(), 0);
  EXPECT_FALSE(reader.HoldsMapping());
  // Reading never moved the descriptor's own offset.
  EXPECT_EQ(mapped_file.Tell(), 0);
}

TEST_F(MappedReaderTest, SeeksBackAndForthReadTheRightBytes) {
  const int64_t window = 2 * kPage;
  const std::vector<uint8_t> bytes = Pattern(static_cast<size_t>(9 * window + 100));
  const std::string path = WriteFile(bytes);
  PlatformFile file;
  ASSERT_TRUE(file.OpenRead(path));
  MappedFileReader reader(window);
  reader.Start(file, 50);

  const int64_t size = static_cast<int64_t>(bytes.size());
  const struct {
    int64_t offset;
    int64_t n;
  } steps[] = {{50, 10},          {window - 3, 9},   {10, 5},          {8 * window + 7, 500},
               {window + 1, 2},   {window + 1, 40},  {size - 20, 20},  {size - 5, 50},
               {0, 3 * window},   {kPage, kPage}};
  std::vector<uint8_t> got(static_cast<size_t>(3 * window));
  for (const auto& step : steps) {
    reader.Seek(step.offset);
    const int64_t n = reader.Read(got.data(), step.n);
    const int64_t expected = std::min(step.n, size - step.offset);
    ASSERT_EQ(n, expected) << step.offset;
    EXPECT_EQ(0, std::memcmp(got.data(), bytes.data() + step.offset, static_cast<size_t>(n)))
        << step.offset;
    EXPECT_EQ(reader.Position(), step.offset + n);
  }
  reader.Seek(size + 1000);
  EXPECT_EQ(reader.Read(got.data(), 1), 0);
  EXPECT_EQ(reader.LastError(), 0);
}

TEST_F(MappedReaderTest, FileGrownAfterTheFirstWindowIsReadOnToItsNewEnd) {
  const std::vector<uint8_t> bytes = Pattern(3 * static_cast<size_t>(kPage) + 9);
  const std::string path = dir_.File("growing.bin");
  testutil::WriteAllBytes(path, bytes.data(), 1000);
  PlatformFile file;
  ASSERT_TRUE(file.OpenRead(path));
  MappedFileReader reader(kPage);
  reader.Start(file, 0);
  std::vector<uint8_t> got(bytes.size());
  ASSERT_EQ(reader.Read(got.data(), 600), 600);
  {
    std::ofstream append(path, std::ios::binary | std::ios::app);
    append.write(reinterpret_cast<const char*>(bytes.data()) + 1000,
                 static_cast<std::streamsize>(bytes.size() - 1000));
  }
  ASSERT_EQ(reader.Read(got.data() + 600, static_cast<int64_t>(bytes.size())),
            static_cast<int64_t>(bytes.size()) - 600);
  EXPECT_EQ(got, bytes);
}

// A pipe cannot be mapped: the reader reads it as it comes.
TEST_F(MappedReaderTest, PipeIsReadThroughTheFallback) {
  const std::vector<uint8_t> bytes = Pattern(3 * 1024 * 1024 + 333);
  const std::string fifo = dir_.File("pipe");
  ASSERT_EQ(mkfifo(fifo.c_str(), 0600), 0) << std::strerror(errno);
  std::thread writer([&] {
    PlatformFile out;
    if (!out.CreateWrite(fifo)) return;
    // Odd pieces, so reads meet partly filled pipes.
    size_t at = 0;
    for (size_t piece = 1; at < bytes.size(); piece = piece * 3 + 1) {
      const size_t n = std::min(piece % 200000 + 1, bytes.size() - at);
      out.Write(bytes.data() + at, static_cast<int64_t>(n));
      at += n;
    }
  });
  PlatformFile file;
  ASSERT_TRUE(file.OpenRead(fifo));
  MappedFileReader reader;
  reader.Start(file, 0);
  std::vector<uint8_t> got;
  std::vector<uint8_t> piece(2 * 1024 * 1024);
  const int64_t sizes[] = {5, 70000, 2 * 1024 * 1024, 1};
  for (size_t i = 0;; ++i) {
    const int64_t want = sizes[i % 4];
    const int64_t n = reader.Read(piece.data(), want);
    EXPECT_FALSE(reader.HoldsMapping());
    got.insert(got.end(), piece.begin(), piece.begin() + n);
    if (n < want) break;
  }
  writer.join();
  EXPECT_EQ(reader.LastError(), 0);
  EXPECT_EQ(got, bytes);
}

TEST_F(MappedReaderTest, ProcFilesAreReadThroughTheFallback) {
  // A /proc file reports a size of 0 but has content.
  const std::string path = "/proc/self/cmdline";
  if (!FileExists(path)) GTEST_SKIP() << "no " << path;
  const std::vector<uint8_t> want = testutil::ReadAllBytes(path);
  ASSERT_FALSE(want.empty());
  PlatformFile file;
  ASSERT_TRUE(file.OpenRead(path));
  MappedFileReader reader;
  reader.Start(file, 0);
  std::vector<uint8_t> got(want.size() + 100);
  const int64_t first = reader.Read(got.data(), 3);
  ASSERT_EQ(first, 3);
  const int64_t rest = reader.Read(got.data() + 3, static_cast<int64_t>(got.size()) - 3);
  EXPECT_EQ(first + rest, static_cast<int64_t>(want.size()));
  EXPECT_EQ(reader.LastError(), 0);
  got.resize(want.size());
  EXPECT_EQ(got, want);
}

TEST_F(MappedReaderTest, ReadErrorOfTheFallbackIsReported) {
  // This process's memory file opens, but reading it at offset 0 fails.
  const std::string path = "/proc/self/mem";
  if (!FileExists(path)) GTEST_SKIP() << "no " << path;
  PlatformFile file;
  ASSERT_TRUE(file.OpenRead(path));
  MappedFileReader reader;
  reader.Start(file, 0);
  uint8_t bytes[64];
  EXPECT_EQ(reader.Read(bytes, sizeof bytes), 0);
  EXPECT_EQ(reader.LastError(), EIO);
  EXPECT_EQ(reader.Position(), 0);
}

TEST_F(MappedReaderTest, ReadWithoutAnOpenFileFailsCleanly) {
  PlatformFile file;
  MappedFileReader reader;
  uint8_t byte = 0;
  EXPECT_EQ(reader.Read(&byte, 1), 0);
  EXPECT_EQ(reader.LastError(), EBADF);
  reader.Start(file, 0);
  EXPECT_EQ(reader.Read(&byte, 1), 0);
  EXPECT_EQ(reader.LastError(), EBADF);
}

// Another process truncates the file after the window was mapped: the
// copy from the vanished pages must not kill the process.
void ExpectTruncationIsAShortReadWithEio() {
  testutil::TempDir dir;
  const int64_t window = 16 * kPage;
  const std::vector<uint8_t> bytes = Pattern(static_cast<size_t>(3 * window));
  const std::string path = dir.File("shrinking.bin");
  testutil::WriteAllBytes(path, bytes.data(), bytes.size());
  PlatformFile file;
  ASSERT_TRUE(file.OpenRead(path));
  MappedFileReader reader(window);
  reader.Start(file, 0);
  std::vector<uint8_t> got(static_cast<size_t>(window));
  ASSERT_EQ(reader.Read(got.data(), 10), 10);
  ASSERT_TRUE(reader.HoldsMapping());

  // The file now ends inside the second page of the mapped window.
  const int64_t new_size = kPage + 100;
  ASSERT_EQ(::truncate(path.c_str(), new_size), 0);
  const int64_t n = reader.Read(got.data(), 5 * kPage);
  EXPECT_LT(n, 5 * kPage);
  EXPECT_EQ(reader.LastError(), EIO);
  EXPECT_EQ(reader.Position(), 10 + n);

  // Reading on finds the bytes that are left, then the end.
  std::vector<uint8_t> rest(static_cast<size_t>(window));
  const int64_t left = reader.Read(rest.data(), window);
  EXPECT_EQ(reader.Position(), new_size);
  EXPECT_EQ(reader.LastError(), 0);
  EXPECT_EQ(0, std::memcmp(rest.data(), bytes.data() + 10 + n, static_cast<size_t>(left)));
  EXPECT_EQ(reader.Read(rest.data(), 1), 0);
}

TEST(MappedReaderTruncation, FileTruncatedUnderTheMappingReadsShortWithEio) {
  ExpectTruncationIsAShortReadWithEio();
  // Caught twice in a row: the guard is still armed after a catch.
  ExpectTruncationIsAShortReadWithEio();
}

TEST(MappedReaderTruncation, CaughtOnAnotherThreadToo) {
  std::thread worker([] { ExpectTruncationIsAShortReadWithEio(); });
  worker.join();
}

TEST(MappedReaderTruncation, FileTruncatedToNothingReadsShortWithEio) {
  testutil::TempDir dir;
  const std::vector<uint8_t> bytes = Pattern(static_cast<size_t>(8 * kPage));
  const std::string path = dir.File("emptied.bin");
  testutil::WriteAllBytes(path, bytes.data(), bytes.size());
  PlatformFile file;
  ASSERT_TRUE(file.OpenRead(path));
  MappedFileReader reader(8 * kPage);
  reader.Start(file, 0);
  uint8_t first[4];
  ASSERT_EQ(reader.Read(first, 4), 4);
  ASSERT_EQ(::truncate(path.c_str(), 0), 0);
  std::vector<uint8_t> got(bytes.size());
  EXPECT_EQ(reader.Read(got.data(), 100), 0);
  EXPECT_EQ(reader.LastError(), EIO);
  EXPECT_EQ(reader.Read(got.data(), 100), 0);
  EXPECT_EQ(reader.LastError(), 0);  // now simply the end
}

// In a sanitizer build the sanitizer's own SIGBUS handler is the previous
// disposition: it reports the fault and exits instead of dying by SIGBUS.
bool DiedOfSigbus(int status) {
  if (WIFSIGNALED(status) && WTERMSIG(status) == SIGBUS) return true;
#if defined(__SANITIZE_ADDRESS__)
  return WIFEXITED(status) && WEXITSTATUS(status) != 0;
#else
  return false;
#endif
}

// Maps a file, truncates it and touches the vanished page outside any
// guarded copy (after the guard has been installed by a guarded read).
void TouchVanishedPageUnguarded(const std::string& path) {
  std::vector<uint8_t> bytes = Pattern(static_cast<size_t>(4 * kPage));
  testutil::WriteAllBytes(path, bytes.data(), bytes.size());
  PlatformFile file;
  if (!file.OpenRead(path)) _exit(3);
  MappedFileReader reader;
  reader.Start(file, 0);
  uint8_t byte = 0;
  if (reader.Read(&byte, 1) != 1 || !reader.HoldsMapping()) _exit(4);
  void* map = mmap(nullptr, static_cast<size_t>(4 * kPage), PROT_READ, MAP_SHARED,
                   file.Descriptor(), 0);
  if (map == MAP_FAILED) _exit(5);
  if (::truncate(path.c_str(), 0) != 0) _exit(6);
  const volatile uint8_t* page = static_cast<const uint8_t*>(map) + 2 * kPage;
  byte = *page;
  _exit(byte == 0 ? 7 : 8);  // not reached: the touch must not survive
}

TEST(MappedReaderDeathTest, SigbusOutsideAGuardedCopyStillEndsTheProcess) {
  testutil::TempDir dir;
  const std::string path = dir.File("vanishing.bin");
  EXPECT_EXIT(TouchVanishedPageUnguarded(path), DiedOfSigbus, "");
}

TEST(MappedReaderDeathTest, SentSigbusStillEndsTheProcess) {
  EXPECT_EXIT(
      {
        if (!InstallCopyGuard()) _exit(3);
        raise(SIGBUS);
        _exit(4);
      },
      DiedOfSigbus, "");
}

}  // namespace
