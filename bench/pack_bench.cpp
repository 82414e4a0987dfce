// Packing speed of the packed-bit converter: archive blocks in, pack file
// out, measured in bytes of archive frame data words per second.
//
// Each iteration converts one block of 32 frames of 256 words. The block's
// frame times are fixed; the converter's frame times start over before
// every block so that no frame is taken for a gap, except in the fill case,
// where the block's second half lies 1,000 periods after its first.
#include <benchmark/benchmark.h>

#include <cstdint>
#include <memory>
#include <random>
#include <string>
#include <unistd.h>
#include <vector>

#include "archive/ark_header.h"
#include "mkarchive/archive_generator.h"
#include "pack/pack_converter.h"
#include "support/platform_file.h"

namespace {

constexpr int kWords = 256;
constexpr int kFramesPerBlock = 32;
constexpr double kFrameRate = 1000.0;
constexpr int64_t kStartMicros = 10672496LL * 1000000;
constexpr int64_t kRestartBytes = 256LL * 1024 * 1024;  // bound of a real pack file


// The header record the packer reads and one archive block of steady
// frames with random words.
struct benchblock {
  std::unique_ptr<arkheaderstruct> header = std::make_unique<arkheaderstruct>();
  std::vector<uint8_t> serial;
  double first_frame_time = kStartMicros / 1e6;
};

constexpr int64_t kGapPeriods = 1000;

void FillBlock(benchblock& block, int word_length, bool variable_lengths, bool gap) {
  arkheaderstruct& h = *block.header;
  h.WordsPerMinorFrame = kWords;
  h.FramesPerBlock = kFramesPerBlock;
  h.MinorFrameRate = kFrameRate;
  h.FrameHeaderWords = 5;
  if (gap) {  // a span long enough for every iteration's fill
    h.StartTime = kStartMicros / 1e6;
    h.StopTime = h.StartTime + 1e7;
  }
  std::mt19937 rng(3);
  for (int i = 0; i < kWords; ++i) {
    h.WordTable[i].iWdNum = i;
    h.WordTable[i].iWdLen = variable_lengths ? 1 + static_cast<int32_t>(rng() % 16) : word_length;
    h.WordTable[i].bLeftAlign = variable_lengths ? static_cast<uint8_t>(rng() % 2) : 0;
  }
  const size_t stride_bytes = (kWords + 5) * 2;
  block.serial.assign(stride_bytes * kFramesPerBlock, 0);
  for (int k = 0; k < kFramesPerBlock; ++k) {
    uint8_t* frame = block.serial.data() + k * stride_bytes;
    const int64_t periods = k + (gap && k >= kFramesPerBlock / 2 ? kGapPeriods - 1 : 0);
    mkarchive::EncodeFrameHeader(kStartMicros + periods * 1000, 0, frame);
    for (size_t b = 10; b < stride_bytes; ++b) frame[b] = static_cast<uint8_t>(rng());
  }
}

void RunPacking(benchmark::State& state, int word_length, bool variable_lengths, bool real_file,
                bool gap = false) {
  benchblock block;
  FillBlock(block, word_length, variable_lengths, gap);
  orloarkpackclass pack(*block.header);
  // Without a real file the stream is packed and handed to no one: the
  // pack file stays empty.
  const std::string path = "/tmp/orlo-pack-bench-" + std::to_string(getpid()) + ".arkpak";
  DeleteFileAt(path);
  if (!pack.SetPackFile(path, block.first_frame_time, 0)) {
    state.SkipWithError("pack file cannot be created");
    return;
  }
  pack.SetPackFileWanted(real_file);
  const int64_t block_bytes = static_cast<int64_t>(kFramesPerBlock) * kWords * 2;
  int64_t since_restart = 0;
  for (auto _ : state) {
    pack.RestartFrameTimesAt(block.first_frame_time);
    pack.ProcessArkBlock(block.serial.data(), block.serial.size());
    since_restart += block_bytes;
    if (real_file && since_restart >= kRestartBytes) {
      state.PauseTiming();
      DeleteFileAt(path);
      pack.SetPackFile(path, block.first_frame_time, 0);
      since_restart = 0;
      state.ResumeTiming();
    }
  }
  const double fill_frames = gap ? static_cast<double>(state.iterations()) * (kGapPeriods - 1) : 0.0;
  if (pack.MissedFrameCount() != fill_frames || pack.OutputFailed()) state.SkipWithError("fill or output failure");
  pack.ClosePackOutput();
  DeleteFileAt(path);
  if (real_file) unlink(path.c_str());
  state.SetBytesProcessed(state.iterations() * block_bytes);
  state.counters["frames/s"] =
      benchmark::Counter(static_cast<double>(state.iterations()) * kFramesPerBlock, benchmark::Counter::kIsRate);
  if (gap) state.counters["fill frames/s"] = benchmark::Counter(fill_frames, benchmark::Counter::kIsRate);
}

void BM_Pack16BitWords(benchmark::State& state) { RunPacking(state, 16, false, false); }
void BM_Pack12BitRightJustified(benchmark::State& state) { RunPacking(state, 12, false, false); }
void BM_PackMixedWordTable(benchmark::State& state) { RunPacking(state, 0, true, false); }
void BM_Pack16BitWordsToFile(benchmark::State& state) { RunPacking(state, 16, false, true); }
void BM_Pack12BitRightJustifiedToFile(benchmark::State& state) { RunPacking(state, 12, false, true); }
void BM_FillMixedWordTable(benchmark::State& state) { RunPacking(state, 0, true, false, true); }

}  // namespace

BENCHMARK(BM_Pack16BitWords);
BENCHMARK(BM_Pack12BitRightJustified);
BENCHMARK(BM_PackMixedWordTable);
BENCHMARK(BM_Pack16BitWordsToFile);
BENCHMARK(BM_Pack12BitRightJustifiedToFile);
BENCHMARK(BM_FillMixedWordTable);
