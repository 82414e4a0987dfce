#include "support/profile_files.h"

#include <gtest/gtest.h>

#include <sys/resource.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <filesystem>
#include <set>

#include "common/test_helpers.h"
#include "support/error_log.h"
#include "support/platform_file.h"
#include "support/text_stream.h"

namespace {

class ProfileTest : public ::testing::Test {
 protected:
  std::string Options() { return dir_.File("OrloVarnel.Opt"); }
  // The names in the folder.
  std::set<std::string> Names() {
    std::set<std::string> names;
    for (const auto& e : std::filesystem::directory_iterator(dir_.path()))
      names.insert(e.path().filename().string());
    return names;
  }
  testutil::TempDir dir_;
};

TEST_F(ProfileTest, ReadsValuesWithoutSurroundingBlanks) {
  testutil::WriteAllText(Options(),
                         "[Main Area]\r\n"
                         "  Last Folder =  /data/flights  \r\n"
                         "Count=42\n"
                         "Empty=\r\n"
                         "Sentinel=BOGUS SECTION or KEY\r\n"
                         "Bad=12a\r\n"
                         "; Commented=1\r\n"
                         "\r\n"
                         "[Position Area]\r\n"
                         "Count=7\r\n");
  std::string text = "unchanged";
  EXPECT_TRUE(ProfileReadText(Options(), "Main Area", "Last Folder", text));
  EXPECT_EQ(text, "/data/flights");
  int32_t n = -1;
  EXPECT_TRUE(ProfileReadInt(Options(), "Main Area", "Count", n));
  EXPECT_EQ(n, 42);
  EXPECT_TRUE(ProfileReadInt(Options(), "Position Area", "Count", n));
  EXPECT_EQ(n, 7);

  // Missing section, missing key, commented key, sentinel value: all missing.
  text = "unchanged";
  EXPECT_FALSE(ProfileReadText(Options(), "Nowhere", "Count", text));
  EXPECT_FALSE(ProfileReadText(Options(), "Main Area", "Nothing", text));
  EXPECT_FALSE(ProfileReadText(Options(), "Main Area", "Commented", text));
  EXPECT_FALSE(ProfileReadText(Options(), "Main Area", "Sentinel", text));
  EXPECT_FALSE(ProfileReadText(dir_.File("absent.Opt"), "Main Area", "Count", text));
  EXPECT_EQ(text, "unchanged");
  // Sections and keys match as given.
  EXPECT_FALSE(ProfileReadText(Options(), "main area", "Count", text));
  EXPECT_FALSE(ProfileReadText(Options(), "Main Area", "count", text));

  n = 99;
  EXPECT_FALSE(ProfileReadInt(Options(), "Main Area", "Bad", n));
  EXPECT_FALSE(ProfileReadInt(Options(), "Main Area", "Sentinel", n));
  EXPECT_EQ(n, 99);
}

TEST_F(ProfileTest, EmptyValueIsPresent) {
  testutil::WriteAllText(Options(), "[S]\r\nEmpty=   \r\n");
  std::string text = "x";
  EXPECT_TRUE(ProfileReadText(Options(), "S", "Empty", text));
  EXPECT_EQ(text, "");
  int32_t n = 5;
  EXPECT_TRUE(ProfileReadInt(Options(), "S", "Empty", n));
  EXPECT_EQ(n, 0);
  bool flag = true;
  EXPECT_TRUE(ProfileReadBool(Options(), "S", "Empty", flag));
  EXPECT_FALSE(flag);
}

TEST_F(ProfileTest, OnlyExactYesReadsTrue) {
  testutil::WriteAllText(Options(), "[S]\r\nA=NO\r\nB=yes\r\nC=1\r\nD=Yes\r\nE= YES \r\n");
  for (const char* key : {"A", "B", "C", "D"}) {
    bool flag = true;
    EXPECT_TRUE(ProfileReadBool(Options(), "S", key, flag)) << key;
    EXPECT_FALSE(flag) << key;
  }
  bool flag = false;
  EXPECT_TRUE(ProfileReadBool(Options(), "S", "E", flag));
  EXPECT_TRUE(flag);
  flag = true;
  EXPECT_FALSE(ProfileReadBool(Options(), "S", "Missing", flag));
  EXPECT_TRUE(flag);
}

TEST_F(ProfileTest, LongValuesAreCutTo1023) {
  testutil::WriteAllText(Options(), "[S]\r\nLong=" + std::string(1500, 'v') + "\r\n");
  std::string text;
  EXPECT_TRUE(ProfileReadText(Options(), "S", "Long", text));
  EXPECT_EQ(text, std::string(1023, 'v'));
}

TEST_F(ProfileTest, WritesRoundTripAndKeepOtherEntries) {
  EXPECT_TRUE(ProfileWriteText(Options(), "Main Area", "Folder", "/a/b"));
  EXPECT_TRUE(ProfileWriteInt(Options(), "Main Area", "Count", -2147483647 - 1));
  EXPECT_TRUE(ProfileWriteBool(Options(), "Main Area", "Retain", true));
  EXPECT_TRUE(ProfileWriteInt(Options(), "Position Area", "Top", 120));
  EXPECT_TRUE(ProfileWriteText(Options(), "Main Area", "Folder", "/c"));
  EXPECT_TRUE(ProfileWriteBool(Options(), "Main Area", "Retain", false));
  EXPECT_EQ(testutil::ReadAllText(Options()),
            "[Main Area]\r\n"
            "Folder=/c\r\n"
            "Count=-2147483648\r\n"
            "Retain=NO\r\n"
            "\r\n"
            "[Position Area]\r\n"
            "Top=120\r\n");
  std::string text;
  int32_t n = 0;
  bool flag = true;
  EXPECT_TRUE(ProfileReadText(Options(), "Main Area", "Folder", text));
  EXPECT_EQ(text, "/c");
  EXPECT_TRUE(ProfileReadInt(Options(), "Main Area", "Count", n));
  EXPECT_EQ(n, -2147483647 - 1);
  EXPECT_TRUE(ProfileReadBool(Options(), "Main Area", "Retain", flag));
  EXPECT_FALSE(flag);

  // A new key joins its section before the blank line that ends it.
  EXPECT_TRUE(ProfileWriteText(Options(), "Main Area", "Added", "z"));
  EXPECT_NE(testutil::ReadAllText(Options()).find("Retain=NO\r\nAdded=z\r\n\r\n[Position Area]"),
            std::string::npos);
  EXPECT_EQ(Names(), std::set<std::string>{"OrloVarnel.Opt"});  // no temporary left
}

TEST_F(ProfileTest, WriteFailureIsReportedAndKeepsTheOldFile) {
  ASSERT_TRUE(ProfileWriteInt(Options(), "S", "K", 1));
  std::string before = testutil::ReadAllText(Options());
  SetFileWriteFault("OrloVarnel.Opt", 3, ENOSPC);
  EXPECT_FALSE(ProfileWriteInt(Options(), "S", "K", 2));
  ClearFileWriteFault();
  EXPECT_EQ(testutil::ReadAllText(Options()), before);
  EXPECT_EQ(Names(), std::set<std::string>{"OrloVarnel.Opt"});  // the temporary went too
  EXPECT_FALSE(ProfileWriteText(dir_.File("no/such/folder.Opt"), "S", "K", "v"));
}

// A link planted at the options file's name, or at the fixed temporary
// name of earlier versions, is never written through: the save replaces
// the name itself, with the mode of any file the program creates.
TEST_F(ProfileTest, SaveNeverWritesThroughALinkAndHonoursTheUmask) {
  const std::string victim = dir_.File("victim");
  struct Case {
    const char* link;    // planted at this name, pointing at the victim
    mode_t umask_value;
    mode_t mode;         // of the saved file
  };
  const Case cases[] = {
      {"OrloVarnel.Opt", 022, 0644},
      {"OrloVarnel.Opt.tmp", 027, 0640},
      {"OrloVarnel.Opt.tmp", 077, 0600},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.link);
    std::filesystem::remove(Options());
    testutil::WriteAllText(victim, "precious\r\n");
    const std::string link = dir_.File(c.link);
    ASSERT_EQ(symlink(victim.c_str(), link.c_str()), 0);
    const mode_t saved_umask = umask(c.umask_value);
    const bool saved = ProfileWriteText(Options(), "Main Area", "Folder", "/d");
    umask(saved_umask);
    EXPECT_TRUE(saved);
    EXPECT_EQ(testutil::ReadAllText(victim), "precious\r\n");
    struct stat st {};
    ASSERT_EQ(lstat(Options().c_str(), &st), 0);
    EXPECT_TRUE(S_ISREG(st.st_mode));
    EXPECT_EQ(st.st_mode & 0777, c.mode);
    std::string value;
    EXPECT_TRUE(ProfileReadText(Options(), "Main Area", "Folder", value));
    EXPECT_EQ(value, "/d");
    std::set<std::string> expected = {"OrloVarnel.Opt", "victim", c.link};
    EXPECT_EQ(Names(), expected);
    std::filesystem::remove(link);
  }
}

TEST(FileBaseName, SeparatorsDotsBlanksAndLimits) {
  EXPECT_EQ(FileBaseName("C:\\Data\\T12.ark"), "T12");
  EXPECT_EQ(FileBaseName("C:\\Data\\T12.run3.ark"), "T12");
  EXPECT_EQ(FileBaseName("/data/flight/T12.ark"), "T12");
  EXPECT_EQ(FileBaseName("noext"), "noext");
  EXPECT_EQ(FileBaseName("D:name.ext"), "name");
  EXPECT_EQ(FileBaseName("  C:\\A\\b.c\t"), "b");
  EXPECT_EQ(FileBaseName(""), "");
  EXPECT_EQ(FileBaseName("/folder/"), "");
  // Only the first 259 characters are looked at: the name past that point
  // is lost, leaving the folder's own text.
  std::string long_path = "/" + std::string(250, 'f') + "/abcdefghijklmnop.ark";
  ASSERT_GT(long_path.size(), 259u);
  EXPECT_EQ(FileBaseName(long_path), "abcdefg");  // 252 + 7 = 259
  std::string three_hundred = std::string(300, 'x') + ".ark";
  EXPECT_EQ(FileBaseName(three_hundred), std::string(259, 'x'));
}

TEST(FileFolderPart, UpToTheLastSeparator) {
  EXPECT_EQ(FileFolderPart("/data/flight/T12.ark"), "/data/flight/");
  EXPECT_EQ(FileFolderPart("C:\\Data\\T12.ark"), "C:\\Data\\");
  EXPECT_EQ(FileFolderPart("D:name.ext"), "D:");
  EXPECT_EQ(FileFolderPart("name.ext"), "");
}

TEST(WriteTextLine, AppendsOneCrLf) {
  testutil::TempDir dir;
  TextStream stream;
  ASSERT_TRUE(stream.Create(dir.File("notes.txt")));
  WriteTextLine(stream, "first");
  WriteTextLine(stream, "");
  WriteTextLine(stream, "a\nb");
  ASSERT_TRUE(stream.Close());
  EXPECT_EQ(testutil::ReadAllText(dir.File("notes.txt")), "first\r\n\r\na\nb\r\n");
}

TEST(GetFileSize64, SizesMissingFilesAndFolders) {
  testutil::TempDir dir;
  EXPECT_EQ(GetFileSize64(dir.File("missing")), -1);
  testutil::WriteAllText(dir.File("empty"), "");
  EXPECT_EQ(GetFileSize64(dir.File("empty")), 0);
  testutil::WriteAllText(dir.File("five"), "12345");
  EXPECT_EQ(GetFileSize64(dir.File("five")), 5);
  EXPECT_EQ(GetFileSize64(dir.path()), -1);
}

TEST(GetFileSize64, FileThatCannotBeOpenedIsLogged) {
  testutil::TempDir dir;
  std::string original = CurrentFolder();
  ASSERT_TRUE(SetCurrentFolder(dir.path()));
  testutil::BeepRecorder beeps;
  StartErrorLog(false, "1.00", "OrloVarnel", "", "OrloVarnel");
  LogLine("log file open", 0);
  testutil::WriteAllText(dir.File("data"), "abc");
  // No descriptor left: the open fails the way a locked file would.
  struct rlimit saved {};
  ASSERT_EQ(getrlimit(RLIMIT_NOFILE, &saved), 0);
  int next_fd = dup(0);
  ASSERT_GE(next_fd, 0);
  close(next_fd);
  struct rlimit tight = saved;
  tight.rlim_cur = static_cast<rlim_t>(next_fd);
  ASSERT_EQ(setrlimit(RLIMIT_NOFILE, &tight), 0);
  int64_t size = GetFileSize64(dir.File("data"));
  setrlimit(RLIMIT_NOFILE, &saved);
  EndErrorLog(false);
  SetCurrentFolder(original);
  EXPECT_EQ(size, -1);
  std::string log = testutil::ReadAllText(dir.File("OrloVarnel.Log"));
  std::string expected = "Cannot Get File Size " + SystemErrorText(EMFILE) + "\r\n";
  size_t at = log.find(expected);
  ASSERT_NE(at, std::string::npos) << log;
  char code[16];
  snprintf(code, sizeof code, "%06d  ", EMFILE);
  EXPECT_EQ(log.rfind(code, at), at - 29);
  EXPECT_EQ(beeps.Total(), 0);
}

}  // namespace
