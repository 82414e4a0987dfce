// The frame block reader and the packed-bit converter: a valid header (one
// of a few frame layouts, picked by the first input byte, each with its
// setup file) followed by the input as frame blocks, frame times included.
#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "archive_fuzz_support.h"

namespace {

struct Layout {
  std::unique_ptr<fuzzsupport::inputfileclass> archive;  // rewritten for every input
  std::string header;  // the header text, terminator included
};

mkarchive::ArchiveSettings LayoutSettings(int which) {
  mkarchive::ArchiveSettings s;
  s.frame_count = 8;
  s.setup_file.write = true;
  s.setup_file.record_bytes = 220 + 16 * 16;  // the first word table entries; the rest default
  s.status_bytes_per_block = 8;
  switch (which) {
    case 0:  // 16 words of 16 bits, 4 frames per block
      s.words_per_frame = 16;
      s.frames_per_block = 4;
      s.setup_file_name = "C:\\SETUPS\\LAYOUT0.B50";
      break;
    case 1:  // 7 right-justified 12-bit words, 3 frames per block, 2.5 kHz
      s.words_per_frame = 7;
      s.common_word_length = 12;
      s.frames_per_block = 3;
      s.frame_rate_hz = 2500.0;
      s.sfid_word = 3;
      s.sync_pattern = 0xFAF320;
      s.sync_bits = 24;
      s.setup_file_name = "C:\\SETUPS\\LAYOUT1.B50";
      break;
    case 2:  // mixed lengths, some left-justified, one frame per block
      s.words_per_frame = 9;
      s.word_lengths = {16, 16, 8, 10, 12, 3, 16, 5, 11};
      s.left_justified = {0, 0, 1, 0, 1, 0, 0, 1, 0};
      s.frames_per_block = 1;
      s.frame_rate_hz = 100.0;
      s.setup_file_name = "C:\\SETUPS\\LAYOUT2.B50";
      break;
    default:  // no setup file: the defaults and the cancelled prompts
      s.words_per_frame = 5;
      s.frames_per_block = 2;
      s.sfid_word = 0;
      s.sync_enabled = false;
      s.setup_file.write = false;
      s.setup_file_name = "C:\\SETUPS\\MISSING.B50";
      break;
  }
  return s;
}

std::vector<Layout>& Layouts() {
  static std::vector<Layout> layouts = [] {
    std::vector<Layout> made;
    for (int i = 0; i < 4; ++i) {
      mkarchive::ArchiveSettings s = LayoutSettings(i);
      // The generator writes the archive's setup file beside it; the
      // archive itself is rewritten for every input.
      const std::string name = "Layout" + std::to_string(i) + ".Ark";
      fuzzsupport::WriteSeedArchive(name, s);
      Layout l;
      l.archive = std::make_unique<fuzzsupport::inputfileclass>(name);
      l.header = mkarchive::HeaderText(s);
      made.push_back(std::move(l));
    }
    return made;
  }();
  return layouts;
}

// Seeds: per layout, its selector byte and the blocks of a longer archive
// of that layout, with a lost-frame gap, a repeated time and a clock jump.
void WriteSeeds() {
  for (int i = 0; i < static_cast<int>(Layouts().size()); ++i) {
    mkarchive::ArchiveSettings s = LayoutSettings(i);
    s.frame_count = 48;
    s.gaps = {{7, 3}};
    s.time_shifts = {{20, -1000000 / static_cast<int64_t>(s.frame_rate_hz), false},
                     {30, 5000, true}};
    const std::string path = fuzzsupport::WriteSeedArchive("SeedSource.Ark", s);
    const std::string bytes = fuzzsupport::ReadWholeFile(path);
    const std::string header = mkarchive::HeaderText(s);
    fuzzsupport::WriteSeed("layout" + std::to_string(i),
                           std::string(1, static_cast<char>(i)) + bytes.substr(header.size()));
  }
}

}  // namespace

extern "C" int LLVMFuzzerInitialize(int*, char***) {
  fuzzsupport::QuietProgram();
  Layouts();
  if (!fuzzsupport::SeedFolder().empty()) {
    WriteSeeds();
    std::exit(0);
  }
  return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  if (size < 1) return 0;
  const Layout& layout = Layouts()[data[0] % Layouts().size()];
  // No TMATS text: the archive_header target builds it for fuzzed headers
  // and block times alike.
  static std::string file;
  file.assign(layout.header);
  file.append(reinterpret_cast<const char*>(data + 1), size - 1);
  layout.archive->Write(reinterpret_cast<const uint8_t*>(file.data()), file.size());
  fuzzsupport::RunPackPass(layout.archive->Path(), fuzzsupport::Tmats::kSkip);
  return 0;
}
