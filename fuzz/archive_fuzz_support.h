// Pass 1 for the archive fuzz targets: a valid archive header made by the
// generator, the packed-bit conversion of every block into a pack file
// whose writes are cut off after kOutputByteCap bytes.
#pragma once

#include <cerrno>
#include <cstdlib>
#include <cstdint>
#include <string>
#include <vector>

#include "archive/archive_reader.h"
#include "ch10/tmats_builder.h"
#include "fuzz_support.h"
#include "mkarchive/archive_generator.h"
#include "pack/pack_converter.h"

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

// Opens the archive, builds its TMATS text from the header record and
// converts all its blocks into a pack file beside it;
// the pack file's writes fail with ENOSPC once the cap is reached, which
// ends the pass like a full disk.
inline void RunPackPass(const std::string& archive_path) {
  orloarkclass archive;
  if (!archive.OpenArkFile(archive_path)) return;
  std::vector<std::string> tmats;
  BuildTmatsText(tmats, archive.Header());
  orloarkpackclass pack(archive.Header());
  const std::string pack_path = archive_path + ".arkpak";
  DeleteFileAt(pack_path);  // the pack file is created only where none is
  SetFileWriteFault(pack_path, kOutputByteCap, ENOSPC);
  if (pack.SetPackFile(pack_path, archive.FirstFrameTime, archive.WholeFrameCount())) {
    for (;;) {
      archive.ReadNextBlock();
      if (archive.EndOfData) break;
      pack.ProcessArkBlock(archive.SerialData(), archive.SerialBuffer.size());
      if (pack.OutputFailed()) break;
    }
  }
  archive.CloseArkFile();
  pack.ClosePackOutput();
  ClearFileWriteFault();
}

}  // namespace fuzzsupport
