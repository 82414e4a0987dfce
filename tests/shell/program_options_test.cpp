// The options file: defaults, load rules per field, and the save that writes
// exactly the six keys.
#include <gtest/gtest.h>

#include <filesystem>
#include <memory>
#include <string>
#include <vector>

#include "shell/program_options.h"
#include "shell/shell_fixture.h"

namespace {

using shelltest::StartedLog;

std::string OptionsPath(const StartedLog& log) { return log.File("OrloVarnel.Opt"); }

// The file's non-blank lines, without their CR LF; blank lines between
// sections are the profile writer's choice.
std::vector<std::string> OptionLines(const StartedLog& log) {
  std::string text = testutil::ReadAllText(OptionsPath(log));
  std::vector<std::string> lines;
  size_t at = 0;
  while (at < text.size()) {
    size_t end = text.find("\r\n", at);
    if (end == std::string::npos) end = text.size();
    std::string line = text.substr(at, end - at);
    if (!line.empty()) lines.push_back(line);
    at = end + 2;
  }
  return lines;
}

void WriteOptions(const StartedLog& log, const std::string& text) {
  testutil::WriteAllText(OptionsPath(log), text);
}

TEST(ProgramOptions, DefaultsWithoutAFile) {
  StartedLog log;
  progoptionsclass options;
  EXPECT_EQ(options.FilePath(), StartFolder() + "/OrloVarnel.Opt");
  EXPECT_EQ(options.Options().LastArchiveDir, StartFolder());
  EXPECT_FALSE(options.Options().RetainTempArkPackFile);
  EXPECT_EQ(options.Options().MainScreenPos.left, 200);
  EXPECT_EQ(options.Options().MainScreenPos.top, 200);
  EXPECT_FALSE(options.Load());
}

TEST(ProgramOptions, SaveAtDestructionAndLoadAtConstructionRoundTrip) {
  StartedLog log;
  std::string folder = log.File("flights") + "/";
  std::filesystem::create_directory(log.File("flights"));
  {
    progoptionsclass options;
    options.RememberArchiveFolder(folder);
    options.SetRetainPackFile(true);
    options.SetMainWindowPosition({-12, 34, 561, 386});
  }
  std::vector<std::string> expected = {"[Main Area]",
                                       "LastArchiveDir=" + folder,
                                       "RetainTempArkPackFile=YES",
                                       "[Position Area]",
                                       "MainScreenPos.left=-12",
                                       "MainScreenPos.top=34",
                                       "MainScreenPos.right=561",
                                       "MainScreenPos.bottom=386"};
  EXPECT_EQ(OptionLines(log), expected);
  progoptionsclass again;
  EXPECT_EQ(again.Options().LastArchiveDir, folder);
  EXPECT_TRUE(again.Options().RetainTempArkPackFile);
  EXPECT_EQ(again.Options().MainScreenPos.left, -12);
  EXPECT_EQ(again.Options().MainScreenPos.top, 34);
  EXPECT_EQ(again.Options().MainScreenPos.right, 561);
  EXPECT_EQ(again.Options().MainScreenPos.bottom, 386);
}

TEST(ProgramOptions, RetainIsTrueOnlyForUpperCaseYes) {
  StartedLog log;
  WriteOptions(log, "[Main Area]\r\nRetainTempArkPackFile=yes\r\n");
  EXPECT_FALSE(progoptionsclass().Options().RetainTempArkPackFile);
  WriteOptions(log, "[Main Area]\r\nRetainTempArkPackFile=Yes\r\n");
  EXPECT_FALSE(progoptionsclass().Options().RetainTempArkPackFile);
  WriteOptions(log, "[Main Area]\r\nRetainTempArkPackFile=YES\r\n");
  EXPECT_TRUE(progoptionsclass().Options().RetainTempArkPackFile);
}

TEST(ProgramOptions, DeletedOrEmptyFolderLoadsAsTheStartFolder) {
  StartedLog log;
  std::filesystem::create_directory(log.File("gone"));
  WriteOptions(log, "[Main Area]\r\nLastArchiveDir=" + log.File("gone") + "/\r\n");
  EXPECT_EQ(progoptionsclass().Options().LastArchiveDir, log.File("gone") + "/");
  std::filesystem::remove(log.File("gone"));
  EXPECT_EQ(progoptionsclass().Options().LastArchiveDir, StartFolder());
  WriteOptions(log, "[Main Area]\r\nLastArchiveDir=\r\n");
  EXPECT_EQ(progoptionsclass().Options().LastArchiveDir, StartFolder());
}

TEST(ProgramOptions, PositionsChangeOnlyForWholeIntegers) {
  StartedLog log;
  WriteOptions(log,
               "[Position Area]\r\nMainScreenPos.left=12abc\r\nMainScreenPos.top=\r\n"
               "MainScreenPos.right= 640 \r\n");
  progoptionsclass options;
  EXPECT_EQ(options.Options().MainScreenPos.left, 200);  // 12abc does not parse
  EXPECT_EQ(options.Options().MainScreenPos.top, 0);     // an empty value is 0
  EXPECT_EQ(options.Options().MainScreenPos.right, 640);
  EXPECT_EQ(options.Options().MainScreenPos.bottom, 0);  // missing: unchanged
}

TEST(ProgramOptions, SaveDropsUnknownKeysAndSections) {
  StartedLog log;
  WriteOptions(log,
               "[Other]\r\nColour=red\r\n[Main Area]\r\nFavourite=1\r\n"
               "RetainTempArkPackFile=YES\r\n[Position Area]\r\nMainScreenPos.left=7\r\n");
  { progoptionsclass options; }
  std::vector<std::string> expected = {"[Main Area]",
                                       "LastArchiveDir=" + StartFolder(),
                                       "RetainTempArkPackFile=YES",
                                       "[Position Area]",
                                       "MainScreenPos.left=7",
                                       "MainScreenPos.top=200",
                                       "MainScreenPos.right=0",
                                       "MainScreenPos.bottom=0"};
  EXPECT_EQ(OptionLines(log), expected);
}

TEST(ProgramOptions, SaveWorksFromAnotherCurrentFolder) {
  StartedLog log;
  testutil::TempDir elsewhere;
  {
    progoptionsclass options;
    options.SetMainWindowPosition({5, 200, 0, 0});
    SetCurrentFolder(elsewhere.path());
  }
  EXPECT_TRUE(FileExists(OptionsPath(log)));
  EXPECT_FALSE(FileExists(elsewhere.File("OrloVarnel.Opt")));
}

}  // namespace
