// The conversion job: selection, output names, refusals, the event pump
// cadence, an abort during the pass and the fate of the pack file.
#include <gtest/gtest.h>

#include <filesystem>
#include <memory>
#include <string>
#include <vector>

#include "archive/archive_reader.h"
#include "ch10/ch10_converter.h"
#include "common/ch10_packets.h"
#include "pack/pack_converter.h"
#include "shell/conversion_driver.h"
#include "shell/program_options.h"
#include "shell/shell_fixture.h"
#include "support/profile_files.h"

namespace {

using shelltest::CountOf;
using shelltest::MakeArchive;
using shelltest::SmallSettings;
using shelltest::StartedLog;

// A factory whose views count their refreshes; it never owns the objects.
struct CountingViews : progressviewfactoryclass {
  struct View : progressviewclass {
    explicit View(int& shows) : shows_(shows) {}
    void FirstShow() override { ++shows_; }
    void FixedRefresh() override {}
    void PeriodicRefresh() override {}
    int& shows_;
  };
  std::unique_ptr<progressviewclass> CreateArchiveView(const orloarkclass&, const orloarkpackclass&) override {
    ++archive_views;
    return std::make_unique<View>(shows);
  }
  std::unique_ptr<progressviewclass> CreateCh10View(const ch10convertprocessclass&,
                                                    const orloarkclass&) override {
    ++ch10_views;
    return std::make_unique<View>(shows);
  }
  int archive_views = 0;
  int ch10_views = 0;
  int shows = 0;
};

struct Job {
  StartedLog log;
  progoptionsclass options;
  std::function<void()> on_pump;
  conversiondriverclass driver{options, [this] {
                                 ++pumps;
                                 if (on_pump) on_pump();
                               }};
  int pumps = 0;
};

std::vector<testutil::Ch10Packet> Packets(const std::string& path) {
  std::vector<testutil::Ch10Packet> packets;
  std::string error;
  EXPECT_TRUE(testutil::ReadCh10File(path, packets, error)) << error;
  return packets;
}

int CountChannel(const std::vector<testutil::Ch10Packet>& packets, uint16_t channel) {
  int n = 0;
  for (const auto& p : packets) n += p.channel == channel;
  return n;
}

TEST(ConversionDriver, DerivesOutputNamesFromTheArchivePath) {
  Job job;
  std::filesystem::create_directory(job.log.File("Flight"));
  job.driver.DeriveOutputNames(job.log.File("Flight") + "/T12.run3.ark");
  const std::string folder = job.log.File("Flight") + "/Ch10Conversion";
  EXPECT_EQ(job.driver.OutputFolder(), folder);
  EXPECT_TRUE(FolderExists(folder));
  // The archive's name without its last extension: T12.run3 and T12.run4
  // in one folder never share outputs.
  EXPECT_EQ(job.driver.Ch10FileName(), folder + "/T12.run3.ch10");
  EXPECT_EQ(job.driver.PackFileName(), folder + "/T12.run3.arkpak");
  EXPECT_EQ(job.driver.NotesFileName(), folder + "/T12.run3.CvtNotes");

  // The folder part ends at the last "\", "/" or ":".
  job.driver.DeriveOutputNames("D:\\Flight\\T12.ark");
  EXPECT_EQ(job.driver.OutputFolder(), "D:\\Flight\\Ch10Conversion");
  EXPECT_EQ(job.driver.Ch10FileName(), "D:\\Flight\\Ch10Conversion/T12.ch10");
  job.driver.DeriveOutputNames("D:T12.ark");
  EXPECT_EQ(job.driver.NotesFileName(), "D:Ch10Conversion/T12.CvtNotes");
}

TEST(ConversionDriver, OpenCreatesTheEmptyPackFileAndTheArchiveView) {
  Job job;
  CountingViews views;
  job.driver.SetProgressViewFactory(&views);
  std::string path = MakeArchive(job.log.Dir().path(), "T12.run3.ark", SmallSettings(64));
  EXPECT_EQ(job.driver.ArchiveDisplayName(), "-----");
  ASSERT_TRUE(job.driver.OpenArchive(path));
  EXPECT_TRUE(job.driver.Ready());
  EXPECT_FALSE(job.driver.Running());
  EXPECT_EQ(job.driver.ArchiveDisplayName(), "T12");
  EXPECT_EQ(job.options.Options().LastArchiveDir, job.log.Dir().path() + "/");
  // Under its temporary name until the run completes.
  const std::string pack_file = job.driver.PackFileName() + kWritingSuffix;
  EXPECT_TRUE(FileExists(pack_file));
  EXPECT_EQ(GetFileSize64(pack_file), 0);
  EXPECT_FALSE(FileExists(job.driver.PackFileName()));
  EXPECT_EQ(views.archive_views, 1);
  EXPECT_EQ(views.shows, 1);
  EXPECT_NE(job.driver.ArchiveView(), nullptr);
  EXPECT_EQ(job.driver.Converter(), nullptr);
}

TEST(ConversionDriver, FailedOpenKeepsTheArchiveButIsNeverReady) {
  Job job;
  std::filesystem::create_directory(job.log.File("data"));
  std::string path = job.log.File("data") + "/broken.ark";
  testutil::WriteAllText(path, "NOT AN ARCHIVE\r\n");
  EXPECT_FALSE(job.driver.OpenArchive(path));
  EXPECT_FALSE(job.driver.Ready());
  EXPECT_EQ(job.driver.Pack(), nullptr);
  EXPECT_EQ(job.driver.ArchiveDisplayName(), "broken");
  EXPECT_EQ(job.options.Options().LastArchiveDir, job.log.File("data") + "/");
  EXPECT_NE(job.log.LogText().find("000255  "), std::string::npos);
  EXPECT_NE(job.log.LogText().find("Could not open ARK file for reading"), std::string::npos);
  EXPECT_FALSE(job.log.Boxes().empty());
  EXPECT_EQ(job.log.Boxes().back(), "ERROR: Could not open ARK file for reading");

  job.log.Beeps().Clear();
  EXPECT_EQ(job.driver.RunConversion(), ConversionOutcome::Refused);
  EXPECT_EQ(job.log.Beeps().Count(BeepKind::Error), 1);
  EXPECT_EQ(CountOf(job.log.LogText(), "BEGIN ARK TO CH10"), 0);

  // A refused open after a good one leaves no packer behind: it would pack
  // by the header record of the archive that went.
  ASSERT_TRUE(job.driver.OpenArchive(MakeArchive(job.log.Dir().path(), "good.ark", SmallSettings(64))));
  EXPECT_NE(job.driver.Pack(), nullptr);
  EXPECT_FALSE(job.driver.OpenArchive(path));
  EXPECT_EQ(job.driver.Pack(), nullptr);
  EXPECT_EQ(job.driver.RunConversion(), ConversionOutcome::Refused);
}

TEST(ConversionDriver, PrepareSelectionResetsTheJobAndOffersTheLastFolder) {
  Job job;
  std::string path = MakeArchive(job.log.Dir().path(), "T12.ark", SmallSettings(64));
  ASSERT_TRUE(job.driver.OpenArchive(path));
  std::string folder, name;
  ASSERT_TRUE(job.driver.PrepareSelection(folder, name));
  EXPECT_EQ(folder, job.log.Dir().path() + "/");
  EXPECT_EQ(name, "T12");
  // Cancelling the dialog now leaves the job empty.
  EXPECT_FALSE(job.driver.Ready());
  EXPECT_EQ(job.driver.Archive(), nullptr);
  EXPECT_EQ(job.driver.ArchiveDisplayName(), "-----");
  EXPECT_TRUE(job.driver.Ch10FileName().empty());
  EXPECT_TRUE(job.driver.PackFileName().empty());
  ASSERT_TRUE(job.driver.PrepareSelection(folder, name));
  EXPECT_EQ(name, "");
}

TEST(ConversionDriver, CompleteRunThenASecondRunIsRefused) {
  Job job;
  CountingViews views;
  job.driver.SetProgressViewFactory(&views);
  std::string path = MakeArchive(job.log.Dir().path(), "T12.ark", SmallSettings(200));
  ASSERT_TRUE(job.driver.OpenArchive(path));
  job.driver.RequestAbort();  // while idle: no effect on the run
  EXPECT_EQ(job.driver.RunConversion(), ConversionOutcome::Complete);
  EXPECT_EQ(job.driver.OutcomeText(), "Conversion Complete");
  EXPECT_EQ(job.log.Beeps().Count(BeepKind::Done), 1);
  EXPECT_FALSE(job.driver.Ready());
  EXPECT_FALSE(job.driver.Running());
  EXPECT_EQ(views.ch10_views, 1);
  EXPECT_TRUE(FileExists(job.driver.Ch10FileName()));
  EXPECT_TRUE(FileExists(job.driver.NotesFileName()));
  EXPECT_FALSE(FileExists(job.driver.PackFileName()));  // not retained
  EXPECT_EQ(job.driver.Pack()->ValidFrameCount(), 208);   // 13 blocks of 16
  std::string log = job.log.LogText();
  size_t begin = log.find("000000  ");
  EXPECT_NE(log.find("---------------  BEGIN ARK TO CH10 CONVERSION   ----------\r\n"),
            std::string::npos);
  EXPECT_LT(log.find("BEGIN ARK TO CH10"), log.find("END ARK TO CH10"));
  EXPECT_NE(begin, std::string::npos);

  job.log.Beeps().Clear();
  EXPECT_EQ(job.driver.RunConversion(), ConversionOutcome::Refused);
  EXPECT_EQ(job.log.Beeps().Count(BeepKind::Error), 1);
  EXPECT_EQ(job.driver.OutcomeText(), "Conversion Complete");  // the last run's
  EXPECT_EQ(CountOf(job.log.LogText(), "BEGIN ARK TO CH10"), 1);
}

TEST(ConversionDriver, EventsAreServedBeforeIteration102AndEvery101After) {
  // 101 blocks: the pass makes 102 iterations (the last finds the end), so
  // the pump is called once, before the 102nd.
  for (int blocks : {100, 101, 202}) {
    Job job;
    int pass1_pumps = 0;
    job.on_pump = [&] { pass1_pumps += job.driver.Pass() == ConversionPass::Convert; };
    mkarchive::ArchiveSettings settings = SmallSettings(int64_t{16} * blocks);
    ASSERT_TRUE(job.driver.OpenArchive(MakeArchive(job.log.Dir().path(), "P.ark", settings)));
    ASSERT_EQ(job.driver.RunConversion(), ConversionOutcome::Complete);
    EXPECT_EQ(pass1_pumps, blocks / 101) << blocks << " blocks";
  }
}

TEST(ConversionDriver, AbortKeepsEveryFrameReadInBothOutputsAndTheNotes) {
  Job job;
  job.driver.SetRetainPackFile(true);
  job.on_pump = [&] {
    if (job.driver.Pass() == ConversionPass::Convert) job.driver.RequestAbort();
  };
  std::string path = MakeArchive(job.log.Dir().path(), "A1.ark", SmallSettings(16 * 300));
  ASSERT_TRUE(job.driver.OpenArchive(path));
  EXPECT_EQ(job.driver.RunConversion(), ConversionOutcome::Aborted);
  EXPECT_EQ(job.driver.OutcomeText(), "Conversion Aborted");
  EXPECT_EQ(job.log.Beeps().Count(BeepKind::Done), 0);
  EXPECT_EQ(job.driver.Pack()->ValidFrameCount(), 16 * 101);  // 101 blocks before the abort
  EXPECT_FALSE(job.driver.Archive()->IsOpen());

  // Kept under the partial names; nothing under the final ones.
  const outputnamesstruct& kept = job.driver.KeptOutputs();
  EXPECT_EQ(kept.Ch10File, job.driver.Ch10FileName() + kPartialSuffix);
  EXPECT_EQ(kept.NotesFile, job.driver.NotesFileName() + kPartialSuffix);
  EXPECT_EQ(kept.PackFile, job.driver.PackFileName() + kPartialSuffix);
  for (const std::string& final_name :
       {job.driver.Ch10FileName(), job.driver.NotesFileName(), job.driver.PackFileName()}) {
    EXPECT_FALSE(FileExists(final_name)) << final_name;
  }

  // 1,616 frames of 32 bytes: 16 packets of 3,200 bytes (0.1 s) and one of
  // 512; a time packet after the 9th or 10th.
  auto packets = Packets(kept.Ch10File);
  ASSERT_GE(packets.size(), 2u);
  EXPECT_EQ(packets[0].channel, testutil::kCh10TmatsChannel);
  EXPECT_EQ(packets[1].channel, testutil::kCh10TimeChannel);
  EXPECT_EQ(CountChannel(packets, testutil::kCh10PcmChannel), 17);
  EXPECT_EQ(CountChannel(packets, testutil::kCh10TimeChannel), 2);
  EXPECT_EQ(job.driver.Converter()->PcmPacketCount(), 17);
  EXPECT_EQ(job.driver.Converter()->TimePacketCount(), 2);
  EXPECT_TRUE(testutil::ConcatenatePcmPayloads(packets) == testutil::ReadAllBytes(kept.PackFile));
  EXPECT_EQ(GetFileSize64(kept.PackFile), 16 * 101 * 32);
  std::string notes = testutil::ReadAllText(kept.NotesFile);
  EXPECT_NE(notes.find(std::string(kKeptPartialPrefix) + kept.Ch10File + " and " + kept.NotesFile),
            std::string::npos);
  EXPECT_NE(notes.find("Ark file Vald Frame Count   : 1616\r\n"), std::string::npos);
  EXPECT_NE(notes.find("Ch10 file Time Packet Count : 2\r\n"), std::string::npos);
  EXPECT_NE(notes.find("Ch10 file PCM Packet Count  : 17\r\n"), std::string::npos);
  EXPECT_NE(job.log.LogText().find("END ARK TO CH10 CONVERSION"), std::string::npos);
}

// A stop source (Ctrl-C in the command line) is seen inside a long fill,
// once per group of frames, not only at the next block: the run ends as an
// operator abort with the fill cut short.
TEST(ConversionDriver, AStopSourceEndsALongFillAsAnAbort) {
  Job job;
  // An hour forward at frame 200, and it stays: 3.6 million fill frames.
  mkarchive::ArchiveSettings settings = SmallSettings(16 * 40);
  settings.time_shifts = {{200, 3600LL * 1000000, true}};
  ASSERT_TRUE(job.driver.OpenArchive(MakeArchive(job.log.Dir().path(), "J.ark", settings)));
  int polls = 0;
  // 13 polls reach the block with the jump; the fill's groups poll on.
  job.driver.SetStopSource([&] { return ++polls > 20; });
  EXPECT_EQ(job.driver.RunConversion(), ConversionOutcome::Aborted);
  EXPECT_FALSE(job.driver.OutputFailed());
  const orloarkpackclass& pack = *job.driver.Pack();
  EXPECT_GT(pack.MissedFrameCount(), 0.0);
  EXPECT_LT(pack.MissedFrameCount(), 100000.0);
  EXPECT_EQ(pack.ValidFrameCount(), 16 * 13);
  EXPECT_NE(job.log.LogText().find(kLogOperatorAbortText), std::string::npos);
  EXPECT_NE(testutil::ReadAllText(job.driver.KeptOutputs().NotesFile).find(kNotesOperatorAbortText),
            std::string::npos);
}

TEST(ConversionDriver, PackFileIsWrittenOnlyWhenKeptFromTheStart) {
  // The choice at the start decides whether the stream is written; a choice
  // cleared during the run removes the file, one made during the run finds
  // nothing written and says so.
  const struct {
    bool at_start;
    bool during_run;
    bool kept;
  } cases[] = {{false, false, false}, {true, true, true}, {true, false, false}, {false, true, false}};
  for (const auto& c : cases) {
    Job job;
    job.driver.SetRetainPackFile(c.at_start);
    job.on_pump = [&] { job.driver.SetRetainPackFile(c.during_run); };
    std::string path = MakeArchive(job.log.Dir().path(), "K.ark", SmallSettings(16 * 150));
    ASSERT_TRUE(job.driver.OpenArchive(path));
    ASSERT_EQ(job.driver.RunConversion(), ConversionOutcome::Complete);
    ASSERT_GE(job.pumps, 1);
    SCOPED_TRACE(std::to_string(c.at_start) + " then " + std::to_string(c.during_run));
    EXPECT_EQ(FileExists(job.driver.PackFileName()), c.kept);
    if (c.kept) {
      EXPECT_EQ(GetFileSize64(job.driver.PackFileName()), 16 * 150 * 32);
    }
    EXPECT_EQ(CountOf(job.log.LogText(), "Pack file not kept"), !c.at_start && c.during_run);
    EXPECT_EQ(job.driver.Converter()->PackedBytesAccepted(), 16 * 150 * 32);
  }
}

TEST(ConversionDriver, SelectionAndRunAreRefusedWhileRunning) {
  Job job;
  int refusals = 0;
  job.on_pump = [&] {
    std::string folder, name;
    refusals += !job.driver.PrepareSelection(folder, name);
    refusals += job.driver.RunConversion() == ConversionOutcome::Refused;
  };
  std::string path = MakeArchive(job.log.Dir().path(), "R.ark", SmallSettings(16 * 150));
  ASSERT_TRUE(job.driver.OpenArchive(path));
  EXPECT_EQ(job.driver.RunConversion(), ConversionOutcome::Complete);
  EXPECT_EQ(refusals, 2 * job.pumps);
  EXPECT_GE(job.pumps, 1);
  EXPECT_EQ(job.log.Beeps().Count(BeepKind::Error), 2 * job.pumps);
  EXPECT_EQ(CountOf(job.log.LogText(), "BEGIN ARK TO CH10"), 1);
  EXPECT_EQ(job.driver.Pack()->ValidFrameCount(), 16 * 150);
}

TEST(ConversionDriver, WindowHooksSeeResetStartAndOutcome) {
  Job job;
  std::vector<std::string> events;
  job.driver.SetWindowHooks({[&] { events.push_back("refresh"); },
                             [&] { events.push_back("reset"); },
                             [&] { events.push_back(job.driver.Running() ? "start" : "?"); },
                             [&](const std::string& outcome) { events.push_back(outcome); }});
  std::string folder, name;
  job.driver.PrepareSelection(folder, name);
  ASSERT_TRUE(job.driver.OpenArchive(MakeArchive(job.log.Dir().path(), "H.ark", SmallSettings(32))));
  job.driver.RunConversion();
  ASSERT_GE(events.size(), 4u);
  EXPECT_EQ(events.front(), "reset");
  EXPECT_EQ(events[1], "start");
  EXPECT_EQ(events.back(), "Conversion Complete");
}

}  // namespace
