// Headers that would make reading unsafe: each refused geometry, random
// bytes, an empty file and a real header cut at every byte. The open must
// fail with a clear log line, without a crash and without allocating from
// the header's claimed sizes.
#include <gtest/gtest.h>

#include <atomic>
#include <cstdlib>
#include <new>
#include <random>
#include <string>
#include <vector>

#include "archive/archive_reader.h"
#include "archive_test_support.h"
#include "common/log_session.h"
#include "common/test_helpers.h"
#include "mkarchive/archive_generator.h"
#include "support/error_log.h"
#include "support/platform_file.h"

// Largest single allocation while tracking is on. Replacing the global
// allocation functions is the only portable way to see every allocation the
// reader makes, including those inside the standard library. The compiler
// sees new and delete inlined down to malloc and free, which is the point.
#pragma GCC diagnostic ignored "-Wmismatched-new-delete"
namespace {

using testutil::CountOf;
using testutil::LogSession;
std::atomic<bool> g_track_allocations{false};
std::atomic<size_t> g_largest_allocation{0};
}  // namespace

namespace {
void* TrackedAllocate(std::size_t size) {
  if (g_track_allocations.load(std::memory_order_relaxed)) {
    size_t seen = g_largest_allocation.load(std::memory_order_relaxed);
    while (size > seen && !g_largest_allocation.compare_exchange_weak(seen, size)) {
    }
  }
  return std::malloc(size ? size : 1);
}
}  // namespace

// Every replaceable form that is not over-aligned goes through malloc and
// free, so that all of them pair up whichever form the library calls.
void* operator new(std::size_t size) {
  if (void* p = TrackedAllocate(size)) return p;
  throw std::bad_alloc();
}
void* operator new[](std::size_t size) { return ::operator new(size); }
void* operator new(std::size_t size, const std::nothrow_t&) noexcept {
  return TrackedAllocate(size);
}
void* operator new[](std::size_t size, const std::nothrow_t&) noexcept {
  return TrackedAllocate(size);
}
void operator delete(void* p) noexcept { std::free(p); }
void operator delete[](void* p) noexcept { std::free(p); }
void operator delete(void* p, std::size_t) noexcept { std::free(p); }
void operator delete[](void* p, std::size_t) noexcept { std::free(p); }
void operator delete(void* p, const std::nothrow_t&) noexcept { std::free(p); }
void operator delete[](void* p, const std::nothrow_t&) noexcept { std::free(p); }

namespace {

// Far below anything a refused header claims (64 MiB serial bytes, 16,383
// words, 1024 status bytes, 400 lines of 3001 bytes), and above the fixed
// working buffers of the header read.
constexpr size_t kRefusedOpenAllocationCap = 256 * 1024;

const char kCorrupt[] = "Archive File Appears Corrupt, Could Not Read Header.";
const char kNotArchive[] = "THE FILE IS NOT A QUORVANT 8x FORMAT ARCHIVE FILE";

using archivetest::RawHeader;

// Opens with allocation tracking; returns the open's result.
bool TrackedOpen(orloarkclass& ark, const std::string& path, size_t& largest) {
  g_largest_allocation = 0;
  g_track_allocations = true;
  bool ok = ark.OpenArkFile(path);
  g_track_allocations = false;
  largest = g_largest_allocation;
  return ok;
}

struct Refusal {
  int line;  // 1-based value line of the default header (no status lines)
  std::string text;
  std::string log_text;
};

class HostileHeaderTest : public ::testing::Test {
 protected:
  testutil::TempDir dir_;
  testutil::BeepRecorder beeps_;
  std::string path_ = dir_.File("hostile.Ark");
};

TEST_F(HostileHeaderTest, UnsafeGeometryIsRefusedAtOpenNamingTheProblem) {
  mkarchive::ArchiveSettings settings;  // 16 words, 16 frames per block: 672 serial bytes
  const std::string status = "Archive Header Status Bytes Per Block Must Be 0 To 1024, Found ";
  const std::string words = "Archive Header Words Per Minor Frame Must Be 1 To 16383, Found ";
  const std::string frames = "Archive Header Frames Per Block Must Be At Least 1, Found ";
  const std::string serial = "Archive Header Serial Bytes Per Block Must Be 0 To 67108864, Found ";
  const std::string rate = "Archive Header Minor Frame Rate Must Be A Number Above 0";
  const Refusal refusals[] = {
      {8, "STATUS BYTES PER BLOCK: -8", status + "-8"},
      {8, "STATUS BYTES PER BLOCK: -1", status + "-1"},
      {8, "STATUS BYTES PER BLOCK: 1025", status + "1025"},
      {8, "STATUS BYTES PER BLOCK: 99999999999", status + "2147483647"},
      {10, "WORDS PER MINOR FRAME: 0", words + "0"},
      {10, "WORDS PER MINOR FRAME: -16", words + "-16"},
      {10, "WORDS PER MINOR FRAME: 16384", words + "16384"},
      {10, "WORDS PER MINOR FRAME: none", words + "0"},
      {15, "FRAMES PER BLOCK: 0", frames + "0"},
      {15, "FRAMES PER BLOCK: -3", frames + "-3"},
      {7, "SERIAL BYTES PER BLOCK: -1", serial + "-1"},
      {7, "SERIAL BYTES PER BLOCK: 67108865", serial + "67108865"},
      {7, "SERIAL BYTES PER BLOCK: 2147483647", serial + "2147483647"},
      {15, "FRAMES PER BLOCK: 17",
       "Archive Header Frames Do Not Fit The Block: 17 Frames Of 16 Words Need 714 Serial Bytes, "
       "The Block Has 672"},
      {15, "FRAMES PER BLOCK: 2147483647",
       "Archive Header Frames Do Not Fit The Block: 2147483647 Frames Of 16 Words Need "
       "90194313174 Serial Bytes, The Block Has 672"},
      {7, "SERIAL BYTES PER BLOCK: 671", "Archive Header Frames Do Not Fit The Block: 16 Frames"},
      {20, "MINOR FRAME RATE: 0", rate},
      {20, "MINOR FRAME RATE: -1000", rate},
      {20, "MINOR FRAME RATE: nan", rate},
      {20, "MINOR FRAME RATE: inf", rate},
      {20, "MINOR FRAME RATE: 1e999", rate},
      {20, "MINOR FRAME RATE: fast", rate},
  };
  for (const Refusal& r : refusals) {
    std::vector<std::string> lines = mkarchive::HeaderValueLines(settings);
    lines[r.line - 1] = r.text;
    testutil::WriteAllText(path_, RawHeader(lines) + std::string(4096, '\x11'));
    beeps_.Clear();
    LogSession log(dir_.path());
    orloarkclass ark;
    size_t largest = 0;
    EXPECT_FALSE(TrackedOpen(ark, path_, largest)) << r.text;
    EXPECT_LT(largest, kRefusedOpenAllocationCap) << r.text;
    EXPECT_TRUE(ark.SerialBuffer().empty()) << r.text;
    const std::string text = log.EndAndRead();
    const size_t problem = text.find("000255  ");
    ASSERT_NE(problem, std::string::npos) << text;
    EXPECT_NE(text.find(r.log_text), std::string::npos) << r.text << "\n" << text;
    EXPECT_LT(text.find(r.log_text), text.find(kCorrupt)) << text;
    ASSERT_EQ(log.boxes.size(), 2u) << r.text;
    EXPECT_EQ(log.boxes[0].rfind("ERROR: " + r.log_text, 0), 0u) << log.boxes[0];
    EXPECT_EQ(log.boxes[1], std::string("ERROR: ") + kCorrupt);
    EXPECT_EQ(beeps_.Count(BeepKind::Error), 2) << r.text;
  }
}

TEST_F(HostileHeaderTest, LimitsThemselvesAreAccepted) {
  struct Accepted {
    int32_t words;
    int32_t frames_per_block;
    int32_t status_bytes;
    int64_t serial_bytes;
  };
  const Accepted cases[] = {{16383, 1, 0, (16383 + 5) * 2},
                            {1, 1, 1024, 12},
                            {16, 16, 0, 64LL * 1024 * 1024}};
  for (const Accepted& a : cases) {
    mkarchive::ArchiveSettings settings;
    settings.words_per_frame = a.words;
    settings.frames_per_block = a.frames_per_block;
    settings.status_bytes_per_block = a.status_bytes;
    std::vector<std::string> lines = mkarchive::HeaderValueLines(settings);
    lines[6] = "SERIAL BYTES PER BLOCK: " + std::to_string(a.serial_bytes);
    lines[3] = "BLOCK SIZE: " + std::to_string(12 + a.serial_bytes + a.status_bytes);
    testutil::WriteAllText(path_, RawHeader(lines));
    orloarkclass ark;
    EXPECT_TRUE(ark.OpenAndReadHeader(path_)) << a.words << " " << a.serial_bytes;
    EXPECT_EQ(static_cast<int64_t>(ark.SerialBuffer().size()), a.serial_bytes);
  }
}

TEST_F(HostileHeaderTest, EmptyFileIsNotAnArchive) {
  testutil::WriteAllText(path_, "");
  LogSession log(dir_.path());
  orloarkclass ark;
  size_t largest = 0;
  EXPECT_FALSE(TrackedOpen(ark, path_, largest));
  EXPECT_LT(largest, kRefusedOpenAllocationCap);
  EXPECT_FALSE(ark.IsOpen());
  const std::string text = log.EndAndRead();
  EXPECT_NE(text.find(kNotArchive), std::string::npos) << text;
  EXPECT_NE(text.find(kCorrupt), std::string::npos) << text;
}

TEST_F(HostileHeaderTest, RandomBytesNeverOpen) {
  std::mt19937_64 random(20240517);
  LogSession log(dir_.path());
  int opens = 0;
  for (int round = 0; round < 200; ++round) {
    const size_t size = random() % 20000;
    std::string bytes(size, '\0');
    for (char& c : bytes) c = static_cast<char>(random());
    // Half of the files carry the magic line, so that the value lines are
    // parsed from random bytes too.
    if (round % 2) bytes = std::string(kArchiveMagicLine) + "\r\n" + bytes;
    testutil::WriteAllText(path_, bytes);
    orloarkclass ark;
    size_t largest = 0;
    EXPECT_FALSE(TrackedOpen(ark, path_, largest)) << round;
    EXPECT_LT(largest, kRefusedOpenAllocationCap) << round;
    ++opens;
  }
  const std::string text = log.EndAndRead();
  EXPECT_EQ(CountOf(text, kCorrupt), opens);
  EXPECT_EQ(CountOf(text, kNotArchive), opens / 2);
}

TEST_F(HostileHeaderTest, RandomlyDamagedHeadersAreReadOrRefusedSafely) {
  // A real header with a few bytes changed: values, separators and line ends
  // land anywhere. Whatever the reader decides, it must decide it safely.
  mkarchive::ArchiveSettings settings;
  settings.status_bytes_per_block = 24;
  settings.frame_count = 48;
  std::string error;
  ASSERT_TRUE(mkarchive::WriteArchive(path_, settings, &error)) << error;
  const std::vector<uint8_t> original = testutil::ReadAllBytes(path_);
  const size_t header_size = mkarchive::HeaderText(settings).size();
  std::mt19937_64 random(7);
  const char alphabet[] = "0123456789-:.\r\n\0 xYEAR";
  LogSession log(dir_.path());
  int failures = 0;
  for (int round = 0; round < 300; ++round) {
    std::vector<uint8_t> bytes = original;
    const int changes = 1 + static_cast<int>(random() % 4);
    for (int i = 0; i < changes; ++i)
      bytes[34 + random() % (header_size - 34)] =
          static_cast<uint8_t>(alphabet[random() % (sizeof alphabet - 1)]);
    testutil::WriteAllBytes(path_, bytes.data(), bytes.size());
    orloarkclass ark;
    if (!ark.OpenAndReadHeader(path_)) {
      ++failures;
      continue;
    }
    // Accepted: the geometry is sound, so every block read stays inside
    // the buffers.
    const arkheaderstruct& h = ark.Header();
    EXPECT_GE(h.WordsPerMinorFrame, 1);
    EXPECT_LE(h.WordsPerMinorFrame, 16383);
    EXPECT_LE(static_cast<int64_t>(h.FramesPerBlock) * (h.WordsPerMinorFrame + 5) * 2,
              h.SerialBytesPerBlock);
    EXPECT_GE(h.StatusBytesPerBlock, 0);
    EXPECT_LE(h.StatusBytesPerBlock, 1024);
    for (int guard = 0; guard < 1000 && !ark.EndOfData(); ++guard) ark.ReadNextBlock();
    EXPECT_TRUE(ark.EndOfData());
  }
  const std::string text = log.EndAndRead();
  EXPECT_EQ(CountOf(text, kCorrupt), failures);
}

TEST_F(HostileHeaderTest, HeaderCutAtEveryByteFailsCleanlyUntilItsLastLineIsThere) {
  mkarchive::ArchiveSettings settings;
  settings.status_bytes_per_block = 16;  // two status lines: 27 value lines
  const std::vector<std::string> lines = mkarchive::HeaderValueLines(settings);
  const std::string header = mkarchive::HeaderText(settings);
  ASSERT_EQ(lines.size(), 27u);
  size_t last_line_start = 34;
  for (size_t i = 0; i + 1 < lines.size(); ++i) last_line_start += lines[i].size() + 2;

  LogSession log(dir_.path());
  int failures = 0;
  int header_reads = 0;
  for (size_t cut = 0; cut <= header.size(); ++cut) {
    testutil::WriteAllText(path_, header.substr(0, cut));
    orloarkclass ark;
    size_t largest = 0;
    // No frame block follows, so the open is refused either way; the
    // header itself reads once its last line is there (the last value line
    // is not read by content; two bytes make it a line).
    EXPECT_FALSE(TrackedOpen(ark, path_, largest)) << "cut at " << cut;
    EXPECT_LT(largest, kRefusedOpenAllocationCap) << "cut at " << cut;
    if (cut >= last_line_start + 2) {
      EXPECT_EQ(ark.HeaderBytes(), static_cast<int32_t>(cut)) << "cut at " << cut;
      EXPECT_EQ(ark.OpenFailure().rfind("no whole frame block", 0), 0u) << ark.OpenFailure();
      ++header_reads;
    } else {
      ++failures;
    }
  }
  const std::string text = log.EndAndRead();
  EXPECT_EQ(CountOf(text, kCorrupt), failures);
  EXPECT_EQ(CountOf(text, "Archive File Holds No Whole Frame Block, Nothing To Convert"), header_reads);
  // Only the cuts inside the magic text itself are "not an archive".
  EXPECT_EQ(CountOf(text, kNotArchive), 32);
}

}  // namespace
