// Pass 1 for the archive fuzz targets: a valid archive header made by the
// generator, the packed-bit conversion of every block into a sink that
// counts the stream's bytes and refuses them after kOutputByteCap.
//
// One archive object, one packer and one sink serve every input, so each
// input pays for its own bytes only, not for the half MiB of pack buffers
// and the header and setup records that a fresh archive object allocates.
#pragma once

#include <cstdlib>
#include <cstdint>
#include <string>
#include <vector>

#include "archive/archive_reader.h"
#include "ch10/tmats_builder.h"
#include "fuzz_support.h"
#include "mkarchive/archive_generator.h"
#include "pack/pack_converter.h"
#include "pack/packed_byte_sink.h"

namespace fuzzsupport {

// Writes the archive (and its setup file when the settings ask) and returns
// its path; aborts when the generator refuses (a harness fault).
inline std::string WriteSeedArchive(const std::string& name, const mkarchive::ArchiveSettings& s) {
  const std::string path = ScratchFile(name);
  std::string error;
  if (!mkarchive::WriteArchive(path, s, &error)) std::abort();
  return path;
}

// The folder named by ORLO_FUZZ_SEED_DIR: when set, a target writes its
// seed inputs there (made by the generator) and exits instead of fuzzing.
inline std::string SeedFolder() {
  const char* folder = std::getenv("ORLO_FUZZ_SEED_DIR");
  return folder ? std::string(folder) : std::string();
}

inline void WriteSeed(const std::string& name, const std::string& bytes) {
  WriteWholeFile(SeedFolder() + "/" + name, reinterpret_cast<const uint8_t*>(bytes.data()),
                 bytes.size());
}

// The bytes of a file, for seeds cut from generated archives.
inline std::string ReadWholeFile(const std::string& path) {
  PlatformFile file;
  std::string bytes;
  if (!file.OpenRead(path)) std::abort();
  bytes.resize(static_cast<size_t>(file.Size()));
  if (file.Read(bytes.data(), static_cast<int64_t>(bytes.size())) !=
      static_cast<int64_t>(bytes.size()))
    std::abort();
  return bytes;
}

// Counts the packed stream of one pass; refuses it, like a full disk, once
// more than kOutputByteCap bytes have come (a fuzzed archive may describe a
// gap of years).
class countingsinkclass : public packedbytesinkclass {
 public:
  void StartPass() { bytes_ = 0; }
  bool AcceptPackedBytes(const uint8_t*, size_t count) override {
    bytes_ += static_cast<int64_t>(count);
    return bytes_ <= kOutputByteCap;
  }
  bool Full() const { return bytes_ > kOutputByteCap; }

 private:
  int64_t bytes_ = 0;
};

// Whether a pass builds the archive's TMATS text.
enum class Tmats { kBuild, kSkip };

// Opens the archive, builds its TMATS text from the header record (when
// asked) and converts all its blocks into the counting sink. The pack file is not
// wanted: the packer creates it empty (its path is the scratch folder's)
// and writes nothing to it.
class packpassclass {
 public:
  void Run(const std::string& archive_path, Tmats tmats) {
    if (!archive_.OpenArkFile(archive_path)) return;
    if (tmats == Tmats::kBuild) {
      tmats_.clear();
      BuildTmatsText(tmats_, archive_.Header());
    }
    sink_.StartPass();
    pack_.SetPackFileWanted(false);
    pack_.SetStreamSink(&sink_);
    DeleteFileAt(pack_path_);  // the pack file is created only where none is
    if (pack_.SetPackFile(pack_path_, archive_.FirstFrameTime(), archive_.WholeFrameCount())) {
      for (;;) {
        archive_.ReadNextBlock();
        if (archive_.EndOfData()) break;
        pack_.ProcessArkBlock(archive_.SerialData(), archive_.SerialBuffer().size());
        if (sink_.Full()) break;
      }
    }
    archive_.CloseArkFile();
    pack_.ClosePackOutput();
    pack_.SetStreamSink(nullptr);
  }

 private:
  const std::string pack_path_ = ScratchFile("Pass.arkpak");
  orloarkclass archive_;
  orloarkpackclass pack_{archive_.Header()};
  countingsinkclass sink_;
  std::vector<std::string> tmats_;
};

inline void RunPackPass(const std::string& archive_path, Tmats tmats) {
  static packpassclass pass;
  pass.Run(archive_path, tmats);
}

}  // namespace fuzzsupport
