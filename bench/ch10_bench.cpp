// Chapter 10 pass throughput: PCM packets written from a pack file (read
// straight into the packet, checksummed, framed, written with one call per
// packet), and the 16-bit checksum on its own.
#include <benchmark/benchmark.h>

#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <memory>
#include <random>
#include <string>
#include <vector>

#include "archive/ark_header.h"
#include "ch10/ch10_converter.h"
#include "ch10/ch10_packet.h"
#include "support/platform_file.h"

namespace {

constexpr size_t kPackBytes = size_t{64} << 20;

// One pack file of random bytes for the whole run, removed at exit.
class BenchFolder {
 public:
  BenchFolder() {
    std::string tmpl = (std::filesystem::temp_directory_path() / "orlo-bench-XXXXXX").string();
    std::vector<char> buf(tmpl.begin(), tmpl.end());
    buf.push_back('\0');
    if (mkdtemp(buf.data()) != nullptr) folder_ = buf.data();
    pack_ = folder_ + "/bench.arkpak";
    ch10_ = folder_ + "/bench.ch10";
    std::vector<uint8_t> data(kPackBytes);
    std::mt19937_64 rng(99);
    for (size_t i = 0; i + 8 <= data.size(); i += 8) {
      const uint64_t v = rng();
      std::memcpy(data.data() + i, &v, 8);
    }
    PlatformFile f;
    if (f.CreateWrite(pack_)) f.Write(data.data(), static_cast<int64_t>(data.size()));
  }
  ~BenchFolder() {
    std::error_code ec;
    if (!folder_.empty()) std::filesystem::remove_all(folder_, ec);
  }
  const std::string& pack() const { return pack_; }
  const std::string& ch10() const { return ch10_; }

 private:
  std::string folder_, pack_, ch10_;
};

BenchFolder& Folder() {
  static BenchFolder folder;
  return folder;
}

// Whole pack file into PCM packets; range(0) is the bit rate in kbit/s.
void BM_PcmPacketsFromPackFile(benchmark::State& state) {
  auto setup = std::make_unique<arkheaderstruct>();
  setup->BitsPerMinorFrame = 1000;
  setup->MinorFrameRate = static_cast<double>(state.range(0));  // kbit/s
  setup->StartTime = 86400.0;
  const BenchFolder& folder = Folder();
  int64_t packets = 0;
  for (auto _ : state) {
    ch10convertprocessclass conv(folder.pack(), folder.ch10(), *setup);
    conv.OpenPackFile(folder.pack());
    conv.CreateCh10File(folder.ch10());
    conv.SetUpTiming();
    bool done = false;
    double relative = 0.0;
    while (!done) {
      conv.WritePcmPacket(conv.WordsPerPacket, done, relative);
      if (!done) {
        relative += conv.LastPacketDuration;
        ++packets;
      }
    }
    conv.ClosePackFile();
    conv.CloseCh10File();
    if (conv.OutputFailed()) state.SkipWithError("Chapter 10 write failed");
  }
  state.SetBytesProcessed(static_cast<int64_t>(state.iterations()) *
                          static_cast<int64_t>(kPackBytes));
  state.counters["packets"] = benchmark::Counter(static_cast<double>(packets),
                                                 benchmark::Counter::kIsRate);
}
// 1 Mbit/s (12.5 KB packets), 10 Mbit/s (125 KB), 20.97 Mbit/s and up (256 KiB).
BENCHMARK(BM_PcmPacketsFromPackFile)->Arg(1000)->Arg(10000)->Arg(20972)
    ->Unit(benchmark::kMillisecond)->UseRealTime();

void BM_Ch10Checksum16(benchmark::State& state) {
  std::vector<uint8_t> body(static_cast<size_t>(state.range(0)));
  for (size_t i = 0; i < body.size(); ++i) body[i] = static_cast<uint8_t>(i * 31 + 7);
  for (auto _ : state) {
    benchmark::DoNotOptimize(Ch10Checksum16(body.data(), body.size()));
  }
  state.SetBytesProcessed(static_cast<int64_t>(state.iterations()) * state.range(0));
}
BENCHMARK(BM_Ch10Checksum16)->Arg(262148);

}  // namespace
