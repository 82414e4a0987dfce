// The outputs never harm the inputs or anyone else's files, and replace the
// previous outputs only whole: links and inputs in the way refuse the
// archive, a second run for the same outputs is refused, what a killed run
// left is cleared up, and a failed sync or rename leaves the previous pair.
#include <gtest/gtest.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <filesystem>
#include <string>

#include "shell/conversion_driver.h"
#include "shell/program_options.h"
#include "shell/shell_fixture.h"
#include "support/platform_file.h"

namespace {

using shelltest::MakeArchive;
using shelltest::SmallSettings;
using shelltest::StartedLog;

struct OutputJob {
  StartedLog log;
  progoptionsclass options;
  conversiondriverclass driver{options, nullptr};
  std::string archive;
  std::string out;  // Ch10Conversion beside the archive

  explicit OutputJob(const std::string& name = "X.Ark", int64_t frames = 16 * 40) {
    archive = MakeArchive(log.Dir().path(), name, SmallSettings(frames));
    out = log.File("Ch10Conversion");
  }
  std::string Out(const std::string& name) const { return out + "/" + name; }
  // The names an archive's outputs share in the output folder.
  std::vector<std::string> OutputFolderEntries() const {
    std::vector<std::string> names;
    if (!std::filesystem::is_directory(out)) return names;
    for (const auto& entry : std::filesystem::directory_iterator(out))
      names.push_back(entry.path().filename().string());
    std::sort(names.begin(), names.end());
    return names;
  }
  ConversionOutcome Convert() {
    std::string folder, name;
    driver.PrepareSelection(folder, name);
    if (!driver.OpenArchive(archive)) return ConversionOutcome::Refused;
    return driver.RunConversion();
  }
};

TEST(OutputSafety, LinksAndInputsInTheWayRefuseTheArchiveAndStayUntouched) {
  struct Case {
    const char* name;
    const char* at;           // in Ch10Conversion
    const char* target;       // in the start folder ("" : the archive's setup file)
    bool hard_link;
  };
  const Case cases[] = {
      {"link from the Chapter 10 name to the archive", "X.ch10", "X.Ark", false},
      {"link from the notes name to the setup file", "X.CvtNotes", "SMALL.B50", false},
      {"link from the pack file name to an unrelated file", "X.arkpak", "unrelated.txt", false},
      {"dangling link at the notes name", "X.CvtNotes", "missing.txt", false},
      {"link at the temporary name to the archive", "X.ch10.converting", "X.Ark", false},
      {"hard link at the partial name to the archive", "X.ch10.partial", "X.Ark", true},
      {"hard link at the lock name to the setup file", "X.ch10.lock", "SMALL.B50", true},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    OutputJob job;
    testutil::WriteAllText(job.log.File("unrelated.txt"), "someone else's data");
    std::filesystem::create_directory(job.out);
    const std::string target = job.log.File(c.target);
    const std::string link = job.Out(c.at);
    if (c.hard_link) {
      ASSERT_EQ(::link(target.c_str(), link.c_str()), 0);
    } else {
      ASSERT_EQ(::symlink(target.c_str(), link.c_str()), 0);
    }
    const std::string before = testutil::ReadAllText(target);
    const auto entries_before = job.OutputFolderEntries();
    job.driver.SetRetainPackFile(false);
    EXPECT_EQ(job.Convert(), ConversionOutcome::Refused);
    EXPECT_TRUE(job.driver.OutputsRefused());
    EXPECT_NE(job.driver.RefusalReason().find(link), std::string::npos) << job.driver.RefusalReason();
    EXPECT_NE(job.log.LogText().find("Not converted: the output " + link), std::string::npos);
    EXPECT_EQ(testutil::ReadAllText(target), before);
    EXPECT_EQ(job.OutputFolderEntries(), entries_before);  // nothing created, nothing removed
  }
}

TEST(OutputSafety, AnArchiveAmongItsOwnOutputNamesIsRefused) {
  // "Rec.ch10" converted into its own folder would be its own output.
  StartedLog log;
  progoptionsclass options;
  conversiondriverclass driver{options, nullptr};
  const std::string archive = MakeArchive(log.Dir().path(), "Rec.ch10", SmallSettings(64));
  const std::string before = testutil::ReadAllText(archive);
  driver.SetOutputFolder(log.Dir().path());
  EXPECT_FALSE(driver.OpenArchive(archive));
  EXPECT_TRUE(driver.OutputsRefused());
  EXPECT_NE(driver.RefusalReason().find("is the input file " + archive), std::string::npos)
      << driver.RefusalReason();
  EXPECT_EQ(testutil::ReadAllText(archive), before);
}

TEST(OutputSafety, TheOutputFolderIsNeverALink) {
  OutputJob job;
  const std::string elsewhere = job.log.File("elsewhere");
  std::filesystem::create_directory(elsewhere);
  ASSERT_EQ(::symlink(elsewhere.c_str(), job.out.c_str()), 0);
  EXPECT_EQ(job.Convert(), ConversionOutcome::Aborted);
  EXPECT_NE(job.log.LogText().find("Could not create the output folder " + job.out), std::string::npos);
  EXPECT_TRUE(std::filesystem::is_empty(elsewhere));
}

TEST(OutputSafety, OneRunAtATimeForOneSetOfOutputs) {
  OutputJob job;
  progoptionsclass other_options;
  conversiondriverclass other(other_options, nullptr);
  ASSERT_TRUE(job.driver.OpenArchive(job.archive));
  EXPECT_FALSE(other.OpenArchive(job.archive));
  EXPECT_TRUE(other.OutputsRefused());
  EXPECT_EQ(other.RefusalReason().rfind("another conversion is writing " + job.Out("X.ch10"), 0), 0u)
      << other.RefusalReason();
  EXPECT_EQ(job.driver.RunConversion(), ConversionOutcome::Complete);
  // The outputs are held from the selection to the end of the run.
  EXPECT_TRUE(other.OpenArchive(job.archive));
  EXPECT_EQ(other.RunConversion(), ConversionOutcome::Complete);
  other.ResetJob();
  job.driver.ResetJob();
  EXPECT_EQ(job.OutputFolderEntries(), (std::vector<std::string>{"X.CvtNotes", "X.ch10"}));
}

TEST(OutputSafety, WhatAKilledRunLeftIsClearedUpByTheNext) {
  struct Case {
    const char* name;
    std::vector<std::pair<const char*, const char*>> left;  // name, content
    const char* ch10_after_open;   // content of X.ch10 once the archive is selected
    const char* notes_after_open;
  };
  const Case cases[] = {
      {"killed while writing",
       {{"X.ch10", "old ch10"}, {"X.CvtNotes", "old notes"}, {"X.ch10.converting", "half"},
        {"X.CvtNotes.converting", "half"}, {"X.arkpak.converting", ""}, {"X.ch10.lock", ""}},
       "old ch10", "old notes"},
      {"killed after the notes were marked ready",
       {{"X.ch10", "old ch10"}, {"X.CvtNotes", "old notes"}, {"X.ch10.converting", "new ch10"},
        {"X.CvtNotes.ready", "new notes"}},
       "new ch10", "new notes"},
      {"killed between the two renames",
       {{"X.ch10", "new ch10"}, {"X.CvtNotes", "old notes"}, {"X.CvtNotes.ready", "new notes"}},
       "new ch10", "new notes"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    OutputJob job;
    std::filesystem::create_directory(job.out);
    for (const auto& [name, content] : c.left) testutil::WriteAllText(job.Out(name), content);
    ASSERT_TRUE(job.driver.OpenArchive(job.archive));
    EXPECT_EQ(testutil::ReadAllText(job.Out("X.ch10")), c.ch10_after_open);
    EXPECT_EQ(testutil::ReadAllText(job.Out("X.CvtNotes")), c.notes_after_open);
    EXPECT_EQ(job.driver.RunConversion(), ConversionOutcome::Complete);
    job.driver.ResetJob();
    EXPECT_EQ(job.OutputFolderEntries(), (std::vector<std::string>{"X.CvtNotes", "X.ch10"}));
    EXPECT_NE(testutil::ReadAllText(job.Out("X.ch10")), c.ch10_after_open);
  }
}

TEST(OutputSafety, AFailedSyncOrRenameLeavesThePreviousPair) {
  // Each output is on the disk before it replaces anything: a sync that
  // fails leaves the previous outputs as they were, as does a rename that
  // fails before the new Chapter 10 file is in place.
  struct Case {
    const char* name;
    const char* path_part;
    FileOperation operation;
    int64_t nth_call;
  };
  const Case cases[] = {
      {"Chapter 10 file sync", "X.ch10.converting", FileOperation::Sync, 1},
      {"notes sync", "X.CvtNotes.converting", FileOperation::Sync, 1},
      {"notes marked ready", "X.CvtNotes.converting", FileOperation::Rename, 1},
      {"Chapter 10 file renamed", "X.ch10.converting", FileOperation::Rename, 1},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    OutputJob job;
    ASSERT_EQ(job.Convert(), ConversionOutcome::Complete);
    const std::string ch10 = testutil::ReadAllText(job.Out("X.ch10"));
    const std::string notes = testutil::ReadAllText(job.Out("X.CvtNotes"));
    SetFileCallFault(c.path_part, c.operation, c.nth_call, EIO);
    EXPECT_EQ(job.Convert(), ConversionOutcome::Aborted);
    ClearFileCallFault();
    EXPECT_TRUE(job.driver.OutputFailed());
    EXPECT_EQ(testutil::ReadAllText(job.Out("X.ch10")), ch10);
    EXPECT_EQ(testutil::ReadAllText(job.Out("X.CvtNotes")), notes);
    EXPECT_TRUE(FileExists(job.Out("X.ch10.partial")));
    EXPECT_TRUE(FileExists(job.Out("X.CvtNotes.partial")));
    // A complete run afterwards replaces the pair and the partial files.
    EXPECT_EQ(job.Convert(), ConversionOutcome::Complete);
    job.driver.ResetJob();
    EXPECT_EQ(job.OutputFolderEntries(), (std::vector<std::string>{"X.CvtNotes", "X.ch10"}));
  }
}

}  // namespace
