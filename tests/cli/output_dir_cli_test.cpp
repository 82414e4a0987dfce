// --output-dir: the outputs go to the given folder (made when missing) and
// nothing is written beside the archive; a folder that cannot be made stops
// the command with status 1 before anything is converted.
#include <sys/stat.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include <filesystem>
#include <map>
#include <string>

#include "e2e/e2e_support.h"
#include "support/platform_file.h"

namespace {

namespace fs = std::filesystem;

// Names and modification times of everything under a folder.
std::map<std::string, fs::file_time_type> Snapshot(const std::string& folder) {
  std::map<std::string, fs::file_time_type> entries;
  for (const auto& e : fs::recursive_directory_iterator(folder)) {
    entries[e.path().string()] = fs::last_write_time(e.path());
  }
  return entries;
}

mkarchive::ArchiveSettings TestArchiveSettings() {
  mkarchive::ArchiveSettings settings;
  settings.frame_count = 600;
  settings.gaps = {{100, 2}};
  settings.setup_file.write = true;
  return settings;
}

void WriteTestArchive(const std::string& path) {
  const mkarchive::ArchiveSettings settings = TestArchiveSettings();
  std::string error;
  ASSERT_TRUE(mkarchive::WriteArchive(path, settings, &error)) << error;
}

TEST(OutputDirCli, ReadOnlyArchiveFolderWithOutputsElsewhere) {
  testutil::TempDir dir;
  const std::string media = dir.File("media");
  ASSERT_TRUE(CreateFolder(media));
  WriteTestArchive(media + "/R1.Ark");
  ASSERT_FALSE(testing::Test::HasFatalFailure());
  ASSERT_EQ(chmod(media.c_str(), 0555), 0);
  if (geteuid() == 0) {
    // Root writes through a read-only mode, so the mode proves nothing here;
    // what is checked is that the folder is left exactly as it was.
    std::printf("note: running as root, the archive folder's read-only mode is not enforced; "
                "checking that nothing in it changes instead\n");
  }
  const auto before = Snapshot(media);
  const e2e::CliRun run =
      e2e::RunConverter(dir.path(), "--quiet --verify --output-dir out '" + media + "/R1.Ark'");
  chmod(media.c_str(), 0755);
  EXPECT_EQ(run.status, 0) << run.out << run.err;
  EXPECT_EQ(Snapshot(media), before);
  EXPECT_NE(run.out.find("-> " + dir.File("out/R1.ch10")), std::string::npos) << run.out;
  const e2e::ExpectedStream expected = e2e::BuildExpectedStream(TestArchiveSettings());
  EXPECT_NE(run.out.find("verified: " + std::to_string(expected.archive_frames.size()) +
                         " frames, 2 fill frames"),
            std::string::npos)
      << run.out;
  EXPECT_TRUE(FileExists(dir.File("out/R1.CvtNotes")));
  EXPECT_FALSE(FileExists(dir.File("out/R1.arkpak")));
}

TEST(OutputDirCli, MissingFoldersAreCreated) {
  testutil::TempDir dir;
  WriteTestArchive(dir.File("M1.Ark"));
  ASSERT_FALSE(testing::Test::HasFatalFailure());
  const std::string out = dir.File("a/b/c");
  const e2e::CliRun run =
      e2e::RunConverter(dir.path(), "--quiet --retain-pack --output-dir='" + out + "' M1.Ark");
  EXPECT_EQ(run.status, 0) << run.out << run.err;
  for (const char* ext : {"ch10", "CvtNotes", "arkpak"}) {
    EXPECT_TRUE(FileExists(out + "/M1." + ext)) << ext;
  }
  EXPECT_FALSE(FolderExists(dir.File("Ch10Conversion")));
}

TEST(OutputDirCli, AFolderThatCannotBeCreatedIsRefused) {
  testutil::TempDir dir;
  WriteTestArchive(dir.File("F1.Ark"));
  ASSERT_FALSE(testing::Test::HasFatalFailure());
  testutil::WriteAllText(dir.File("plain"), "a file in the way\n");
  // A file where the folder or one of its parents should be stops even root.
  for (const std::string& folder : {dir.File("plain"), dir.File("plain/sub")}) {
    SCOPED_TRACE(folder);
    const e2e::CliRun run = e2e::RunConverter(dir.path(), "--output-dir '" + folder + "' F1.Ark");
    EXPECT_EQ(run.status, 1);
    EXPECT_EQ(run.err.rfind("orlovarnel-convert: cannot create the output folder " + folder + ": ",
                            0),
              0u)
        << run.err;
    EXPECT_TRUE(run.out.empty()) << run.out;
  }
  EXPECT_FALSE(FolderExists(dir.File("Ch10Conversion")));
  EXPECT_FALSE(FileExists(dir.File("OrloVarnel.Log")));
}

}  // namespace
