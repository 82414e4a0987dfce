// The setup file reader with its validation: the input is the ".B50" file
// beside a small valid archive; the archive is opened (setup read, checked
// and applied, or the defaults and the cancelled prompts), its TMATS text
// built and its frames packed with the word table the setup gave.
#include <cstddef>
#include <cstdint>
#include <string>

#include "archive_fuzz_support.h"

namespace {

const std::string& ArchivePath() {
  static const std::string path = [] {
    mkarchive::ArchiveSettings s;
    s.words_per_frame = 12;
    s.frames_per_block = 4;
    s.frame_count = 32;
    s.setup_file_name = "C:\\SETUPS\\FUZZ.B50";
    return fuzzsupport::WriteSeedArchive("Setup.Ark", s);
  }();
  return path;
}

// Seeds: setup files the generator writes for a few frame layouts, with
// the record cut after the first word table entries (the rest of a short
// record keeps its defaults).
void WriteSeeds() {
  const std::string path = fuzzsupport::ScratchFile("Seed.B50");
  for (int i = 0; i < 4; ++i) {
    mkarchive::ArchiveSettings s;
    s.words_per_frame = 12;
    mkarchive::SetupFileSettings file;
    file.record_bytes = 220 + 16 * 16;
    if (i == 1) {
      s.common_word_length = 10;
      s.sync_pattern = 0xFAF320;
      s.sync_bits = 24;
    } else if (i == 2) {
      s.word_lengths = {16, 16, 8, 10, 12, 3, 16, 5, 11, 16, 16, 16};
      s.left_justified = {0, 0, 1, 0, 1, 0, 0, 1, 0, 0, 0, 0};
    } else if (i == 3) {
      s.sfid_word = 0;
      file.version = 2;
    }
    static decomsetupstruct record;
    mkarchive::MakeSetupRecord(s, record);
    if (!mkarchive::WriteSetupFile(path, file, record)) std::abort();
    fuzzsupport::WriteSeed("setup" + std::to_string(i), fuzzsupport::ReadWholeFile(path));
  }
}

}  // namespace

extern "C" int LLVMFuzzerInitialize(int*, char***) {
  fuzzsupport::QuietProgram();
  ArchivePath();
  if (!fuzzsupport::SeedFolder().empty()) {
    WriteSeeds();
    std::exit(0);
  }
  return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  static fuzzsupport::inputfileclass setup("FUZZ.B50");
  setup.Write(data, size);
  fuzzsupport::RunPackPass(ArchivePath(), fuzzsupport::Tmats::kBuild);
  return 0;
}
