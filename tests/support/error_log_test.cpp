#include "support/error_log.h"

#include <gtest/gtest.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <atomic>
#include <filesystem>
#include <functional>
#include <regex>
#include <thread>
#include <utility>
#include <vector>

#include "common/test_helpers.h"
#include "support/error_log_file.h"
#include "support/platform_file.h"
#include "support/profile_files.h"

namespace {

std::vector<std::string> SplitCrLfLines(const std::string& text) {
  std::vector<std::string> lines;
  size_t start = 0;
  while (start < text.size()) {
    size_t end = text.find("\r\n", start);
    if (end == std::string::npos) {
      lines.push_back(text.substr(start) + "<no CR LF>");
      break;
    }
    lines.push_back(text.substr(start, end - start));
    start = end + 2;
  }
  return lines;
}

// Fixes the running log's clock at t (no counter time added).
void PinLogClock(double t) {
  Ctimerclass& clock = ActiveErrorLog()->Clock();
  clock.BaseTime = t;
  clock.CounterPeriod = 0.0;
}

const double kDay123 = 123 * 86400.0 + 4 * 3600 + 5 * 60 + 6.5;

class ErrorLogTest : public ::testing::Test {
 protected:
  void SetUp() override {
    original_folder_ = CurrentFolder();
    ASSERT_TRUE(SetCurrentFolder(dir_.path()));
    SetMessageBoxHook([this](const std::string& caption, const std::string& text) {
      boxes_.emplace_back(caption, text);
    });
  }
  void TearDown() override {
    EndErrorLog(false);
    SetMessageBoxHook(nullptr);
    SetCurrentFolder(original_folder_);
  }
  void StartProgramLog() { StartErrorLog(false, "1.00", "OrloVarnel", "", "OrloVarnel"); }
  std::string LogText() { return testutil::ReadAllText(dir_.File("OrloVarnel.Log")); }
  std::vector<std::string> LogLines() { return SplitCrLfLines(LogText()); }

  testutil::TempDir dir_;
  testutil::BeepRecorder beeps_;
  std::string original_folder_;
  std::vector<std::pair<std::string, std::string>> boxes_;
};

TEST_F(ErrorLogTest, LinesMatchTheFormatByteForByte) {
  StartProgramLog();
  PinLogClock(kDay123);
  LogLine("abc", 255);
  LogLine("", 0);
  LogInfo("shown", 5000, false);
  LogLine("negative", -5);
  LogLine("wide", 1234567);
  EndErrorLog(false);
  std::string text = LogText();
  size_t first_own = text.find("000255  ");
  ASSERT_NE(first_own, std::string::npos);
  EXPECT_EQ(text.substr(first_own),
            "000255  123:04:05:06.500000  abc\r\n"
            "000000  123:04:05:06.500000  \r\n"
            "005000  123:04:05:06.500000  shown\r\n"
            "-00005  123:04:05:06.500000  negative\r\n"
            "1234567  123:04:05:06.500000  wide\r\n"
            "000000  123:04:05:06.500000  ------------------PROGRAM END--------------------\r\n");
}

TEST_F(ErrorLogTest, BannersComeFirstAndLastAndEachStartEmptiesTheFile) {
  testutil::WriteAllText(dir_.File("OrloVarnel.Log"), "left over from the last run\r\n");
  StartProgramLog();
  EXPECT_EQ(ErrorLogPath(), dir_.path() + "/OrloVarnel.Log");
  EXPECT_EQ(StartFolder(), dir_.path());
  LogLine("middle", 1);
  EndErrorLog(false);
  std::regex line_format(R"(\d{6}  \d{3}:\d{2}:\d{2}:\d{2}\.\d{6}  .*)");
  std::vector<std::string> lines = LogLines();
  ASSERT_EQ(lines.size(), 4u);
  for (const std::string& line : lines) EXPECT_TRUE(std::regex_match(line, line_format)) << line;
  EXPECT_EQ(lines[0].substr(0, 8), "000000  ");
  EXPECT_EQ(lines[0].substr(29), "------------------PROGRAM START--------------------");
  EXPECT_EQ(lines[1].substr(29), "Program Version 1.00");
  EXPECT_EQ(lines[2].substr(29), "middle");
  EXPECT_EQ(lines[3].substr(29), "------------------PROGRAM END--------------------");

  StartProgramLog();
  EndErrorLog(false);
  lines = LogLines();
  ASSERT_EQ(lines.size(), 3u);
  EXPECT_EQ(lines[0].substr(29), "------------------PROGRAM START--------------------");
}

TEST_F(ErrorLogTest, LibraryBannersAndLogNames) {
  ASSERT_TRUE(CreateFolder(dir_.File("logs")));
  StartErrorLog(true, "2.5", "Tool", "/logs/", "Fallback");
  EXPECT_EQ(ErrorLogPath(), dir_.path() + "/logs/Tool.Log");
  EndErrorLog(true);
  std::vector<std::string> lines = SplitCrLfLines(testutil::ReadAllText(dir_.File("logs/Tool.Log")));
  ASSERT_EQ(lines.size(), 3u);
  EXPECT_EQ(lines[0].substr(29), "--------------------DLL START----------------------");
  EXPECT_EQ(lines[1].substr(29), "DLL Version 2.5");
  EXPECT_EQ(lines[2].substr(29), "--------------------DLL END----------------------");

  // A subfolder that does not exist, or none, gives the fallback name.
  StartErrorLog(false, "1.00", "Tool", "/missing/", "Fallback");
  EXPECT_EQ(ErrorLogPath(), dir_.path() + "/Fallback.Log");
  EndErrorLog(false);
  StartErrorLog(false, "1.00", "Tool", "", "");
  EXPECT_EQ(ErrorLogPath(), dir_.path() + "/LogFile.Log");
  EndErrorLog(false);
  EXPECT_TRUE(FileExists(dir_.File("LogFile.Log")));

  StartErrorLog(false, "1.00", "", "", "");
  EXPECT_EQ(ActiveErrorLog(), nullptr);
  EXPECT_EQ(ErrorLogPath(), "");
  EndErrorLog(false);
}

TEST_F(ErrorLogTest, ClockRepairNotes) {
  StartProgramLog();
  ActiveErrorLog()->Clock().BaseTime = 40000000.0;  // beyond 367 days
  LogLine("late", 3);
  ActiveErrorLog()->Clock().BaseTime = -1e9;  // a failed reading
  LogLine("broken", 4);
  LogLine("", 5);
  ActiveErrorLog()->Clock().BaseTime = -1e9;
  LogLine("", 6);
  LogLine("fine", 7);
  EndErrorLog(false);
  std::vector<std::string> lines = LogLines();
  ASSERT_EQ(lines.size(), 8u);
  EXPECT_EQ(lines[2].substr(0, 8), "000003  ");
  EXPECT_EQ(lines[2].substr(29), "late  >>>> HAD TO REINIT ErrorLog TIMER");
  EXPECT_NE(lines[2].substr(8, 3), "000");  // recalibrated to the local clock
  EXPECT_EQ(lines[3].substr(29), "broken  >>>> HAD TO USE THE CPU TIME");
  EXPECT_EQ(lines[4].substr(29), "");
  EXPECT_EQ(lines[5].substr(29), "  >>>> HAD TO USE THE CPU TIME");
  EXPECT_EQ(lines[6].substr(29), "fine");
}

TEST_F(ErrorLogTest, OverLongMessageIsCutToTheLineBuffer) {
  StartProgramLog();
  PinLogClock(kDay123);
  std::string message(20000, 'm');
  // 29 characters of code and stamp, then the message, then CR LF.
  message[zekerrorlog::kLineBufferSize - 32] = 'Y';  // the last one that fits
  message[zekerrorlog::kLineBufferSize - 31] = 'Z';
  LogLine(message, 7);
  ActiveErrorLog()->Clock().BaseTime = -1e9;
  LogLine(message, 8);
  EndErrorLog(false);
  std::string text = LogText();
  size_t at = text.find("000007  ");
  ASSERT_NE(at, std::string::npos);
  size_t end = text.find("\r\n", at);
  std::string line = text.substr(at, end + 2 - at);
  EXPECT_EQ(line.size(), zekerrorlog::kLineBufferSize);
  EXPECT_EQ(line.substr(0, 34), "000007  123:04:05:06.500000  mmmmm");
  EXPECT_EQ(line.substr(line.size() - 4), "mY\r\n");
  EXPECT_EQ(line.find('Z'), std::string::npos);  // cut before that point

  size_t at8 = text.find("000008  ", end);
  ASSERT_NE(at8, std::string::npos);
  size_t end8 = text.find("\r\n", at8);
  std::string line8 = text.substr(at8, end8 + 2 - at8);
  EXPECT_EQ(line8.size(), zekerrorlog::kLineBufferSize);
  EXPECT_EQ(line8.substr(line8.size() - 32), "  >>>> HAD TO USE THE CPU TIME\r\n");
}

TEST_F(ErrorLogTest, ControlCharactersAreEscapedSoEachMessageStaysOneLine) {
  StartProgramLog();
  PinLogClock(kDay123);
  const std::pair<std::string, std::string> cases[] = {
      {"a\nb", "a\\nb"},
      {"line\r\nnext", "line\\r\\nnext"},
      {"tab\there", "tab\\there"},
      {"\x01\x1b[2J\x7f", "\\x01\\x1b[2J\\x7f"},
      {"Flug \xc3\xa4 \\ \"q\"", "Flug \xc3\xa4 \\ \"q\""},  // text, not controls
  };
  for (const auto& c : cases) LogLine(c.first, 1);
  // An escape that does not fit whole at the end of the buffer is cut, not
  // split: the line ends with the last whole character before it.
  const size_t room = zekerrorlog::kLineBufferSize - 29 - 2;
  LogLine(std::string(room - 1, 'm') + "\n", 2);
  EndErrorLog(false);
  std::vector<std::string> lines = LogLines();
  ASSERT_EQ(lines.size(), 2 + std::size(cases) + 1 + 1);
  for (size_t i = 0; i < std::size(cases); ++i) {
    EXPECT_EQ(lines[2 + i], "000001  123:04:05:06.500000  " + cases[i].second);
  }
  const std::string& cut = lines[2 + std::size(cases)];
  EXPECT_EQ(cut.size(), zekerrorlog::kLineBufferSize - 3);
  EXPECT_EQ(cut.substr(cut.size() - 2), "mm");
}

TEST_F(ErrorLogTest, ANameThatIsNotARegularFileIsRefusedAndLeftAsItIs) {
  const std::string log = dir_.File("OrloVarnel.Log");
  const std::string victim = dir_.File("victim");
  int fifo_reader = -1;
  struct Case {
    const char* name;
    std::function<void()> plant;
    const char* reason;  // start of ErrorLogProblem()
  };
  const Case cases[] = {
      {"link to a file", [&] { ASSERT_EQ(symlink(victim.c_str(), log.c_str()), 0); },
       "is a symbolic link"},
      {"dangling link", [&] { ASSERT_EQ(symlink(dir_.File("absent").c_str(), log.c_str()), 0); },
       "is a symbolic link"},
      {"FIFO, no reader", [&] { ASSERT_EQ(mkfifo(log.c_str(), 0644), 0); },
       "is not a regular file"},
      {"FIFO with a reader",
       [&] {
         ASSERT_EQ(mkfifo(log.c_str(), 0644), 0);
         fifo_reader = open(log.c_str(), O_RDONLY | O_NONBLOCK);
         ASSERT_GE(fifo_reader, 0);
       },
       "is not a regular file"},
      {"folder", [&] { ASSERT_TRUE(CreateFolder(log)); }, "is not a regular file"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    testutil::WriteAllText(victim, "precious\n");
    c.plant();
    StartProgramLog();
    EXPECT_EQ(ErrorLogPath(), log);
    EXPECT_EQ(ErrorLogProblem().rfind(c.reason, 0), 0u) << ErrorLogProblem();
    LogLine("must go nowhere", 1);
    EndErrorLog(false);
    EXPECT_EQ(testutil::ReadAllText(victim), "precious\n");
    EXPECT_FALSE(std::filesystem::exists(dir_.File("absent")));
    if (fifo_reader >= 0) {
      char byte;
      // End of file at once: nothing was written before the log let go.
      EXPECT_EQ(read(fifo_reader, &byte, 1), 0);
      close(fifo_reader);
      fifo_reader = -1;
    }
    std::filesystem::remove(log);
  }
  // A plain file works as ever and has no problem to report.
  StartProgramLog();
  EXPECT_EQ(ErrorLogProblem(), "");
  EndErrorLog(false);
  EXPECT_EQ(LogLines().size(), 3u);
}

TEST_F(ErrorLogTest, EightThreadsNeverInterleave) {
  StartProgramLog();
  constexpr int kThreads = 8;
  constexpr int kLinesEach = 400;
  std::vector<std::thread> threads;
  for (int t = 0; t < kThreads; ++t) {
    threads.emplace_back([t] {
      for (int i = 0; i < kLinesEach; ++i) {
        std::string padding(static_cast<size_t>(100 + (i * 37 + t * 11) % 900), 'a' + t);
        LogLine("thread " + std::to_string(t) + " line " + std::to_string(i) + " " + padding, t);
      }
    });
  }
  for (auto& th : threads) th.join();
  EndErrorLog(false);

  std::regex format(R"((\d{6})  \d{3}:\d{2}:\d{2}:\d{2}\.\d{6}  thread (\d) line (\d+) ([a-h]+))");
  std::vector<int> next(kThreads, 0);
  int total = 0;
  std::vector<std::string> lines = LogLines();
  ASSERT_GE(lines.size(), 3u);
  for (size_t k = 2; k + 1 < lines.size(); ++k) {
    std::smatch m;
    ASSERT_TRUE(std::regex_match(lines[k], m, format)) << "line " << k << ": " << lines[k].substr(0, 80);
    int t = std::stoi(m[2]);
    int i = std::stoi(m[3]);
    EXPECT_EQ(std::stoi(m[1]), t);
    EXPECT_GE(i, next[t]) << "thread " << t << " out of order";
    next[t] = i + 1;
    EXPECT_EQ(m[4].str(), std::string(static_cast<size_t>(100 + (i * 37 + t * 11) % 900), 'a' + t));
    ++total;
  }
  // A writer that waits more than 100 ms for the lock drops its line by
  // design; on an idle machine none is lost.
  EXPECT_GE(total, kThreads * kLinesEach * 9 / 10);
  EXPECT_EQ(lines.back().substr(29), "------------------PROGRAM END--------------------");
}

TEST_F(ErrorLogTest, LineIsDroppedWhenTheLockStaysBusy) {
  StartProgramLog();
  std::atomic<bool> held{false};
  std::atomic<bool> release{false};
  // The log is looked up before its lock is taken: looking it up under the
  // lock would take the two locks in the order opposite to the log's end.
  auto* log = ActiveErrorLog();
  std::thread holder([&] {
    log->WriteLock().lock();
    held = true;
    while (!release) std::this_thread::sleep_for(std::chrono::milliseconds(1));
    log->WriteLock().unlock();
  });
  while (!held) std::this_thread::sleep_for(std::chrono::milliseconds(1));
  auto start = std::chrono::steady_clock::now();
  LogLine("lost", 1);
  auto waited = std::chrono::steady_clock::now() - start;
  release = true;
  holder.join();
  LogLine("kept", 2);
  EndErrorLog(false);
  EXPECT_GE(waited, std::chrono::milliseconds(95));
  std::string text = LogText();
  EXPECT_EQ(text.find("lost"), std::string::npos);
  EXPECT_NE(text.find("kept"), std::string::npos);
}

TEST_F(ErrorLogTest, LevelsBeepAndShowBoxes) {
  StartProgramLog();
  LogInfo("info quiet", 1, false);
  LogInfo("info shown", 2, true);
  LogWarning("careful", 3, true);
  LogError("broken", 255, false);
  EXPECT_EQ(beeps_.Count(BeepKind::Warning), 1);
  EXPECT_EQ(beeps_.Count(BeepKind::Error), 1);
  ASSERT_EQ(boxes_.size(), 2u);
  EXPECT_EQ(boxes_[0], std::make_pair(std::string("INFO"), std::string("info shown")));
  EXPECT_EQ(boxes_[1], std::make_pair(std::string("WARNING"), std::string("careful")));
  EndErrorLog(false);
  std::string text = LogText();
  EXPECT_NE(text.find("000003  "), std::string::npos);
  EXPECT_NE(text.find("careful\r\n"), std::string::npos);
  EXPECT_NE(text.find("000255  "), std::string::npos);

  // After the end: nothing is written, but errors still beep and show.
  boxes_.clear();
  beeps_.Clear();
  LogInfo("after info", 1, true);
  LogError("after error", 9, true);
  LogLine("after line", 9);
  EXPECT_EQ(beeps_.Count(BeepKind::Error), 1);
  ASSERT_EQ(boxes_.size(), 1u);
  EXPECT_EQ(boxes_[0], std::make_pair(std::string("ERROR"), std::string("after error")));
  EXPECT_EQ(LogText(), text);
}

TEST_F(ErrorLogTest, LoggingMakesTheStartFolderCurrent) {
  StartProgramLog();
  ASSERT_TRUE(CreateFolder(dir_.File("elsewhere")));
  ASSERT_TRUE(SetCurrentFolder(dir_.File("elsewhere")));
  LogLine("from elsewhere", 1);
  EXPECT_EQ(CurrentFolder(), dir_.path());
  EXPECT_FALSE(FileExists(dir_.File("elsewhere/OrloVarnel.Log")));
  EndErrorLog(false);
  EXPECT_NE(LogText().find("from elsewhere"), std::string::npos);
}

TEST_F(ErrorLogTest, ProgramClosingFlagIsClearedAtStart) {
  SetProgramClosing(true);
  EXPECT_TRUE(IsProgramClosing());
  StartProgramLog();
  EXPECT_FALSE(IsProgramClosing());
  SetProgramClosing(true);
  EXPECT_TRUE(IsProgramClosing());
  SetProgramClosing(false);
}

TEST_F(ErrorLogTest, ViewerFindsTheLogWithAnyExtensionCase) {
  StartProgramLog();
  std::string log_path = ErrorLogPath();
  EndErrorLog(false);
  std::string stem = dir_.path() + "/OrloVarnel.";
  EXPECT_EQ(FindFileIgnoringExtensionCase(stem + "LOG"), log_path);
  EXPECT_EQ(FindFileIgnoringExtensionCase(stem + "log"), log_path);
  EXPECT_EQ(FindFileIgnoringExtensionCase(stem + "Log"), log_path);
  EXPECT_EQ(FindFileIgnoringExtensionCase(dir_.path() + "/orlovarnel.log"), "");
  EXPECT_EQ(FindFileIgnoringExtensionCase(stem + "Opt"), "");
  // Relative names resolve in the current folder; no file is created.
  EXPECT_EQ(FindFileIgnoringExtensionCase("OrloVarnel.LOG"), "OrloVarnel.Log");
  EXPECT_FALSE(FileExists(stem + "LOG"));
  EXPECT_FALSE(FileExists(stem + "log"));
}

TEST(MessageBoxes, WithoutHookCaptionAndTextGoToStandardError) {
  SetMessageBoxHook(nullptr);
  testing::internal::CaptureStderr();
  ShowMessageBox("WARNING", "Disk nearly full");
  EXPECT_EQ(testing::internal::GetCapturedStderr(), "WARNING: Disk nearly full\n");
}

TEST(ErrorLogFile, CallbackDefaultNameAndRefusedName) {
  testutil::TempDir dir;
  std::vector<std::string> seen;
  {
    zekerrorlog log(dir.File("direct.Log"), [&](const std::string& line) { seen.push_back(line); });
    EXPECT_EQ(log.LockName(), "ERRORLOGGING_direct" + std::to_string(getpid()));
    log.Write("one", 1);
    log.Write("two", 2);
    EXPECT_EQ(log.LastLine().substr(29), "two\r\n");
  }
  ASSERT_EQ(seen.size(), 2u);
  EXPECT_EQ(seen[0].substr(0, 8), "000001  ");
  EXPECT_EQ(seen[0].substr(29), "one\r\n");
  EXPECT_EQ(testutil::ReadAllText(dir.File("direct.Log")), seen[0] + seen[1]);

  std::string original = CurrentFolder();
  ASSERT_TRUE(SetCurrentFolder(dir.path()));
  {
    zekerrorlog unnamed;
    EXPECT_EQ(unnamed.FileName(), "ErrorLog.Log");
    unnamed.Write("x", 0);
  }
  EXPECT_TRUE(FileExists(dir.File("ErrorLog.Log")));
  SetCurrentFolder(original);

  zekerrorlog refused(dir.File(std::string(zekerrorlog::kMaxFileNameLength, 'n')));
  EXPECT_EQ(refused.FileName(), "");
  refused.Write("dropped", 1);
  EXPECT_EQ(refused.LastLine(), "");
}

TEST(ErrorLogFile, UnwritableFileDropsLinesAndRetries) {
  testutil::TempDir dir;
  std::string path = dir.File("sub/late.Log");
  zekerrorlog log(path);
  log.Write("no folder yet", 1);
  EXPECT_FALSE(FileExists(path));
  ASSERT_TRUE(CreateFolder(dir.File("sub")));
  log.Write("now it opens", 2);
  EXPECT_NE(testutil::ReadAllText(path).find("now it opens\r\n"), std::string::npos);
}

// Two programs started in one folder, in processes of their own: the first
// finds the log unused and empties it; the second starts while the first
// is still logging, so it must append; then both write at once.
TEST(ErrorLogSharing, TwoProcessesShareOneLogAndKeepEveryLineWhole) {
  testutil::TempDir dir;
  const std::string log = dir.File("OrloVarnel.Log");
  testutil::WriteAllText(log, "left over from an earlier run\r\n");
  constexpr int kLines = 400;
  int ready[2], go[2];
  ASSERT_EQ(pipe(ready), 0);
  ASSERT_EQ(pipe(go), 0);
  auto run_program = [&](int id) -> pid_t {
    pid_t pid = fork();
    if (pid != 0) return pid;
    close(ready[0]);
    close(go[1]);
    if (!SetCurrentFolder(dir.path())) _exit(2);
    StartErrorLog(false, "1.00", "OrloVarnel", "", "OrloVarnel");
    LogLine("process " + std::to_string(id) + " started", id);
    char byte = 'r';
    if (write(ready[1], &byte, 1) != 1) _exit(3);
    if (read(go[0], &byte, 1) != 0) _exit(4);  // end of file: all may write
    for (int i = 0; i < kLines; ++i) {
      LogLine("process " + std::to_string(id) + " line " + std::to_string(i) + " " +
                  std::string(static_cast<size_t>(50 + (i * 53) % 700), static_cast<char>('a' + id)),
              id);
    }
    EndErrorLog(false);
    _exit(0);
  };
  std::vector<pid_t> children;
  char byte;
  for (int id = 1; id <= 2; ++id) {
    children.push_back(run_program(id));
    ASSERT_GT(children.back(), 0);
    ASSERT_EQ(read(ready[0], &byte, 1), 1);  // its log is open and has lines
  }
  close(go[1]);
  for (pid_t pid : children) {
    int status = 0;
    ASSERT_EQ(waitpid(pid, &status, 0), pid);
    EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0) << status;
  }
  close(ready[0]);
  close(ready[1]);
  close(go[0]);

  const std::string text = testutil::ReadAllText(log);
  EXPECT_EQ(text.find("left over"), std::string::npos);  // emptied by the first
  std::regex format(R"((\d{6})  \d{3}:\d{2}:\d{2}:\d{2}\.\d{6}  (.*))");
  std::regex numbered(R"(process (\d) line (\d+) ([a-z]+))");
  int next[3] = {0, 0, 0};
  int starts = 0, ends = 0, started[3] = {0, 0, 0};
  for (const std::string& line : SplitCrLfLines(text)) {
    std::smatch m;
    ASSERT_TRUE(std::regex_match(line, m, format)) << line.substr(0, 120);
    const std::string message = m[2];
    std::smatch n;
    if (std::regex_match(message, n, numbered)) {
      const int id = std::stoi(n[1]);
      const int i = std::stoi(n[2]);
      ASSERT_TRUE(id == 1 || id == 2) << message;
      EXPECT_EQ(i, next[id]) << "process " << id;
      EXPECT_EQ(n[3].str(), std::string(static_cast<size_t>(50 + (i * 53) % 700),
                                        static_cast<char>('a' + id)));
      EXPECT_EQ(std::stoi(m[1]), id);
      next[id] = i + 1;
    } else if (message == "------------------PROGRAM START--------------------") {
      ++starts;
    } else if (message == "------------------PROGRAM END--------------------") {
      ++ends;
    } else if (message.rfind("process ", 0) == 0 && message.ends_with(" started")) {
      ++started[std::stoi(message.substr(8, 1)) % 3];
    }
  }
  EXPECT_EQ(starts, 2);
  EXPECT_EQ(ends, 2);
  EXPECT_EQ(started[1], 1);  // the first's lines from before the second began
  EXPECT_EQ(started[2], 1);
  EXPECT_EQ(next[1], kLines);
  EXPECT_EQ(next[2], kLines);

  // Once both have ended, the next program is alone again and empties it.
  std::string original = CurrentFolder();
  ASSERT_TRUE(SetCurrentFolder(dir.path()));
  StartErrorLog(false, "1.00", "OrloVarnel", "", "OrloVarnel");
  EndErrorLog(false);
  SetCurrentFolder(original);
  EXPECT_EQ(SplitCrLfLines(testutil::ReadAllText(log)).size(), 3u);
}

}  // namespace
