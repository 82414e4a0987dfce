// A hundred conversions in a row in one process, as an operator would run
// them (select, run, select the next): no file descriptor and no memory may
// be left behind by a job. Measured after a warm-up, so that buffers the
// allocator keeps for reuse are already in place.
#include <gtest/gtest.h>

#include <dirent.h>
#include <unistd.h>

#include <cstdio>
#include <string>

#include "shell/conversion_driver.h"
#include "shell/program_options.h"
#include "shell/shell_fixture.h"

namespace {

using shelltest::MakeArchive;
using shelltest::SmallSettings;
using shelltest::StartedLog;

int OpenDescriptorCount() {
  int count = 0;
  if (DIR* dir = opendir("/proc/self/fd")) {
    while (readdir(dir) != nullptr) ++count;
    closedir(dir);
  }
  return count;
}

long ResidentKiB() {
  long pages_total = 0, pages_resident = 0;
  if (FILE* f = std::fopen("/proc/self/statm", "r")) {
    if (std::fscanf(f, "%ld %ld", &pages_total, &pages_resident) != 2) pages_resident = 0;
    std::fclose(f);
  }
  return pages_resident * (sysconf(_SC_PAGESIZE) / 1024);
}

#if defined(__SANITIZE_ADDRESS__)
constexpr bool kResidentMemoryMeaningful = false;  // freed memory sits in quarantine
#elif defined(__has_feature)
#if __has_feature(address_sanitizer)
constexpr bool kResidentMemoryMeaningful = false;
#else
constexpr bool kResidentMemoryMeaningful = true;
#endif
#else
constexpr bool kResidentMemoryMeaningful = true;
#endif

TEST(Soak, HundredConversionsInOneProcessLeaveNoDescriptorsOrMemoryBehind) {
  StartedLog log;
  progoptionsclass options;
  conversiondriverclass driver(options, nullptr);
  mkarchive::ArchiveSettings settings = SmallSettings(3000);
  settings.gaps = {{1000, 25}};
  const std::string archive = MakeArchive(log.Dir().path(), "S.ark", settings);

  auto convert_once = [&]() {
    std::string folder, name;
    ASSERT_TRUE(driver.PrepareSelection(folder, name));  // resets the job
    ASSERT_TRUE(driver.OpenArchive(archive));
    ASSERT_EQ(driver.RunConversion(), ConversionOutcome::Complete);
  };

  for (int i = 0; i < 10; ++i) convert_once();
  driver.ResetJob();  // counted between jobs, as after the loop
  const int descriptors_before = OpenDescriptorCount();
  const long resident_before = ResidentKiB();
  for (int i = 0; i < 100; ++i) {
    convert_once();
    if (HasFatalFailure()) return;
  }
  driver.ResetJob();
  const int descriptors_after = OpenDescriptorCount();
  const long resident_after = ResidentKiB();

  std::printf("soak: descriptors %d -> %d, resident %ld KiB -> %ld KiB\n", descriptors_before,
              descriptors_after, resident_before, resident_after);
  EXPECT_EQ(descriptors_after, descriptors_before);
  // A leak of one pack buffer per job would be 25 MiB over 100 jobs.
  if (kResidentMemoryMeaningful) {
    EXPECT_LE(resident_after - resident_before, 1024);
  }
}

}  // namespace
