// Re-converting an archive that already has good outputs, the converter is
// killed, stopped or starved at moments spread over its run. Whatever
// happens, NAME.ch10 and NAME.CvtNotes are the previous pair byte for byte
// or a new pair that the self-check passes, and the next run leaves no
// temporary file. Two runs for one set of outputs: the second is refused;
// so is an archive that would be its own output.
#include <fcntl.h>
#include <signal.h>
#include <sys/mount.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <time.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include <cerrno>
#include <chrono>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <string>
#include <thread>
#include <vector>

#include "e2e/e2e_support.h"

namespace {

namespace fs = std::filesystem;
using Clock = std::chrono::steady_clock;
using testutil::SplitLines;

// Two versions of one archive, so that a new pair can be told from the one
// it replaces: the frame counts differ.
constexpr int64_t kFrames[2] = {90000, 96000};  // 64 words: about 12 MB

// The whole file in one read (the tests' own code is not optimised).
std::string ReadWhole(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  std::string text;
  if (!in) return text;
  in.seekg(0, std::ios::end);
  text.resize(static_cast<size_t>(in.tellg()));
  in.seekg(0);
  in.read(text.data(), static_cast<std::streamsize>(text.size()));
  return text;
}

mkarchive::ArchiveSettings Version(int v) {
  mkarchive::ArchiveSettings settings;
  settings.frame_count = kFrames[v];
  settings.words_per_frame = 64;
  settings.seed = static_cast<uint64_t>(7 + v);
  settings.setup_file.write = true;
  return settings;
}

struct Pair {
  std::string ch10;
  std::string notes;
  bool operator==(const Pair&) const = default;
};

class CrashSafety : public ::testing::Test {
 protected:
  void SetUp() override {
    for (int v = 0; v < 2; ++v) {
      std::string error;
      versions_[v] = dir_.File("v" + std::to_string(v) + ".Ark");
      ASSERT_TRUE(mkarchive::WriteArchive(versions_[v], Version(v), &error)) << error;
    }
  }

  std::string Out(const std::string& name) const { return folder_ + "/Ch10Conversion/" + name; }
  Pair ReadPair() const {
    return {ReadWhole(Out("X.ch10")), ReadWhole(Out("X.CvtNotes"))};
  }
  // Puts version v in place as X.Ark (its setup file was written beside it).
  void UseVersion(int v) {
    fs::copy_file(versions_[v], folder_ + "/X.Ark", fs::copy_options::overwrite_existing);
    version_ = v;
  }
  // The job's folder, with the setup file both versions share.
  void UseFolder(const std::string& folder) {
    folder_ = folder;
    fs::create_directories(folder_);
    fs::copy_file(dir_.File("FLIGHT.B50"), folder_ + "/FLIGHT.B50",
                  fs::copy_options::overwrite_existing);
  }

  // Starts the converter on X.Ark; `fsize_bytes` > 0 limits the file size.
  pid_t Start(rlim_t fsize_bytes = 0) const {
    pid_t pid = fork();
    if (pid != 0) return pid;
    if (chdir(folder_.c_str()) != 0) _exit(126);
    int null_fd = open("/dev/null", O_RDWR);
    dup2(null_fd, 0);
    dup2(null_fd, 1);
    dup2(null_fd, 2);
    if (fsize_bytes > 0) {
      struct rlimit limit = {fsize_bytes, fsize_bytes};
      setrlimit(RLIMIT_FSIZE, &limit);
    }
    const std::string program = e2e::ConverterPath();
    execl(program.c_str(), program.c_str(), "--quiet", "X.Ark", static_cast<char*>(nullptr));
    _exit(127);
  }
  static int Wait(pid_t pid) {
    int status = 0;
    EXPECT_EQ(waitpid(pid, &status, 0), pid);
    return status;
  }
  // A complete conversion of the version in place; returns its wall time.
  double ConvertWhole() {
    const auto start = Clock::now();
    const int status = Wait(Start());
    EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0) << status;
    return std::chrono::duration<double>(Clock::now() - start).count();
  }
  // True when the pair is a complete conversion of the version in place
  // (checked against the archive by the self-check when `check` is set).
  bool IsNewPair(const Pair& pair, std::string& why, bool check = true) const {
    const e2e::CliRun verify =
        check ? e2e::RunProgram(folder_, "orlovarnel-verify", "X.Ark") : e2e::CliRun{};
    if (check && verify.status != 0) {
      why = "the self-check fails: " + verify.out + verify.err;
      return false;
    }
    auto notes = e2e::NotesValues(pair.notes);
    if (notes["Ark file Vald Frame Count"] != std::to_string(kFrames[version_])) {
      why = "the notes are not those of the new Chapter 10 file";
      return false;
    }
    if (pair.notes.find("Conversion Aborted") != std::string::npos) {
      why = "the notes say the conversion was aborted";
      return false;
    }
    return true;
  }
  // The names a run may leave only while it runs.
  std::vector<std::string> Temporaries() const {
    std::vector<std::string> found;
    for (const auto& entry : fs::directory_iterator(folder_ + "/Ch10Conversion")) {
      const std::string name = entry.path().filename().string();
      for (const char* suffix : {".converting", ".ready", ".lock"}) {
        if (name.ends_with(suffix)) found.push_back(name);
      }
    }
    return found;
  }
  // After a kill: the previous pair, the new pair, or the one moment in
  // between, when the new Chapter 10 file is in place and its notes wait
  // under the commit marker for the next run to finish the commit.
  // Returns which: 'p', 'n' or 'c'.
  char ExpectPreviousOrNew(const Pair& previous, const std::string& when) {
    const Pair now = ReadPair();
    if (now == previous) return 'p';
    std::string why;
    const std::string marker = Out("X.CvtNotes.ready");
    if (fs::exists(marker)) {
      const Pair committing = {now.ch10, ReadWhole(marker)};
      EXPECT_TRUE(now.ch10 == previous.ch10 || IsNewPair(committing, why)) << when << ": " << why;
      return 'c';
    }
    EXPECT_TRUE(IsNewPair(now, why)) << when << ": " << why;
    return 'n';
  }

  testutil::TempDir dir_;
  std::string versions_[2];
  std::string folder_;
  int version_ = 0;
};

void SleepFor(double seconds) {
  struct timespec pause = {static_cast<time_t>(seconds),
                           static_cast<long>((seconds - static_cast<time_t>(seconds)) * 1e9)};
  nanosleep(&pause, nullptr);
}

TEST_F(CrashSafety, KilledAtAnyMomentTheOutputsAreThePreviousPairOrTheNew) {
  UseFolder(dir_.File("job"));
  UseVersion(0);
  ConvertWhole();
  UseVersion(1);
  const double whole = ConvertWhole();  // a run that replaces a pair
  ASSERT_GT(whole, 0.0);
  constexpr int kKills = 36;
  int previous_seen = 0, new_seen = 0, committing_seen = 0;
  for (int i = 0; i < kKills; ++i) {
    SCOPED_TRACE("kill " + std::to_string(i));
    const Pair previous = ReadPair();
    UseVersion(1 - version_);
    // From the process start to past a whole run's time.
    const pid_t pid = Start();
    SleepFor(whole * 1.2 * (i + 0.5) / kKills);
    kill(pid, SIGKILL);
    Wait(pid);
    const char state = ExpectPreviousOrNew(previous, "after the kill");
    (state == 'p' ? previous_seen : state == 'n' ? new_seen : committing_seen) += 1;
    // The next run clears up and completes (its status was checked).
    ConvertWhole();
    EXPECT_TRUE(Temporaries().empty()) << Temporaries().front();
    std::string why;
    EXPECT_TRUE(IsNewPair(ReadPair(), why, false)) << why;
  }
  std::printf("crash safety: %d kills over %.3f s: previous pair %d times, new pair %d times, "
              "between the renames %d times\n",
              kKills, whole, previous_seen, new_seen, committing_seen);
  EXPECT_GT(previous_seen, 0);
}

TEST_F(CrashSafety, StopSignalsAndLimitsLeaveThePreviousPairAndNoTemporary) {
  // SIGTERM and SIGINT end the run as an abort; a file-size limit ends it as
  // a write error. Either way nothing temporary is left, and the final
  // names hold the previous pair (or, for a signal that came too late, the
  // new one).
  UseFolder(dir_.File("job"));
  UseVersion(0);
  const double whole = ConvertWhole();
  struct Case {
    const char* name;
    int signal_number;
    rlim_t fsize_bytes;
  };
  const Case cases[] = {{"SIGTERM", SIGTERM, 0}, {"SIGINT", SIGINT, 0}, {"file-size limit", 0, 2 << 20}};
  for (const Case& c : cases) {
    for (int i = 0; i < (c.signal_number ? 6 : 1); ++i) {
      SCOPED_TRACE(std::string(c.name) + " " + std::to_string(i));
      const Pair previous = ReadPair();
      UseVersion(1 - version_);
      const pid_t pid = Start(c.fsize_bytes);
      if (c.signal_number) {
        SleepFor(whole * (i + 0.5) / 6);
        kill(pid, c.signal_number);
      }
      const int status = Wait(pid);
      // A signal that comes before the converter has set up its handlers
      // ends it the default way, before it has written anything.
      ASSERT_TRUE(WIFEXITED(status) || (c.signal_number && WTERMSIG(status) == c.signal_number))
          << "ended by signal " << WTERMSIG(status);
      if (!c.signal_number) {
        EXPECT_EQ(WEXITSTATUS(status), 1);
        EXPECT_EQ(ReadPair(), previous);
      }
      ExpectPreviousOrNew(previous, c.name);
      EXPECT_TRUE(Temporaries().empty()) << Temporaries().front();
      // What the run wrote is kept (a signal may also come before it starts).
      if (!c.signal_number) {
        EXPECT_TRUE(fs::exists(Out("X.CvtNotes.partial")));
      }
      ConvertWhole();
    }
  }
}

TEST_F(CrashSafety, AFullDiskLeavesThePreviousPair) {
  // A tmpfs with room for the archive and one pair, not two.
  if (geteuid() != 0) GTEST_SKIP() << "mounting a small tmpfs needs root";
  const std::string mount_point = dir_.File("small");
  fs::create_directory(mount_point);
  const uintmax_t archive_bytes = fs::file_size(versions_[1]);
  const std::string options = "size=" + std::to_string(archive_bytes * 5 / 2);
  if (mount("orlo-test", mount_point.c_str(), "tmpfs", 0, options.c_str()) != 0) {
    GTEST_SKIP() << "no tmpfs could be mounted here: " << std::strerror(errno);
  }
  UseFolder(mount_point);
  UseVersion(1);
  ConvertWhole();
  const Pair previous = ReadPair();
  const int status = Wait(Start());
  EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 1) << status;
  EXPECT_EQ(ReadPair(), previous);
  EXPECT_TRUE(Temporaries().empty()) << Temporaries().front();
  umount2(mount_point.c_str(), MNT_DETACH);
}

TEST_F(CrashSafety, OneRunPerSetOfOutputs) {
  // A second run while the first writes is refused at once; the first one's
  // outputs verify. Two archives of one batch with one name and one output
  // folder: the second is refused before anything is written.
  UseFolder(dir_.File("job"));
  UseVersion(1);
  // The first run is held stopped while it holds its lock (the system's
  // lock table names its process), so that the second surely meets it.
  const pid_t first = Start();
  const auto deadline = Clock::now() + std::chrono::seconds(30);
  auto holds_lock = [&] {
    struct stat lock_file;
    if (stat(Out("X.ch10.lock").c_str(), &lock_file) != 0) return false;
    const std::string holder = "WRITE " + std::to_string(first) + " ";
    const std::string inode = ":" + std::to_string(lock_file.st_ino) + " ";
    std::ifstream table("/proc/locks");  // no size to seek to: read as a stream
    const std::string locks((std::istreambuf_iterator<char>(table)), std::istreambuf_iterator<char>());
    for (const std::string& line : SplitLines(locks)) {
      if (line.find(holder) != std::string::npos && line.find(inode) != std::string::npos) return true;
    }
    return false;
  };
  while (!holds_lock() && Clock::now() < deadline) SleepFor(0.0002);
  kill(first, SIGSTOP);
  const e2e::CliRun second = e2e::RunConverter(folder_, "--quiet X.Ark");
  kill(first, SIGCONT);
  EXPECT_EQ(second.status, 1);
  EXPECT_NE(second.err.find("not converted: another conversion is writing " + Out("X.ch10")),
            std::string::npos)
      << second.err;
  EXPECT_TRUE(WIFEXITED(Wait(first)));
  std::string why;
  EXPECT_TRUE(IsNewPair(ReadPair(), why)) << why;

  fs::create_directories(dir_.File("day1"));
  fs::create_directories(dir_.File("day2"));
  fs::copy_file(versions_[0], dir_.File("day1/T1.Ark"));
  fs::copy_file(versions_[1], dir_.File("day2/T1.Ark"));
  const e2e::CliRun batch =
      e2e::RunConverter(dir_.path(), "--quiet --output-dir out day1/T1.Ark day2/T1.Ark");
  EXPECT_EQ(batch.status, 1);
  EXPECT_NE(batch.err.find(dir_.File("day2/T1.Ark") + ": not converted: its outputs "),
            std::string::npos)
      << batch.err;
  auto notes = e2e::NotesValues(testutil::ReadAllText(dir_.File("out/T1.CvtNotes")));
  EXPECT_EQ(notes["Ark file Vald Frame Count"], std::to_string(kFrames[0]));

  // An archive named like its own output, converted into its own folder.
  fs::copy_file(versions_[0], dir_.File("Rec.ch10"));
  const std::string before = ReadWhole(dir_.File("Rec.ch10"));
  const e2e::CliRun own = e2e::RunConverter(dir_.path(), "--quiet --output-dir . Rec.ch10");
  EXPECT_EQ(own.status, 1);
  EXPECT_NE(own.err.find("is the input file " + dir_.File("Rec.ch10")), std::string::npos) << own.err;
  EXPECT_TRUE(ReadWhole(dir_.File("Rec.ch10")) == before);
}

}  // namespace
