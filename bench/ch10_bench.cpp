// Chapter 10 writer throughput: PCM packets cut from the packed stream
// (handed over in groups of 256 KiB, copied once into the output buffer and
// summed as copied, framed, written a quarter megabyte per call), the
// 16-bit checksum on its own, and the copy with the sum against a plain
// copy.
#include <benchmark/benchmark.h>

#include <algorithm>
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

namespace {

constexpr size_t kStreamBytes = size_t{64} << 20;
constexpr size_t kGroupBytes = size_t{256} << 10;  // the packed-bit converter's largest hand-over

// A stream of random bytes and an output folder for the whole run.
class BenchFolder {
 public:
  BenchFolder() : stream_(kStreamBytes) {
    std::string tmpl = (std::filesystem::temp_directory_path() / "orlo-bench-XXXXXX").string();
    std::vector<char> buf(tmpl.begin(), tmpl.end());
    buf.push_back('\0');
    if (mkdtemp(buf.data()) != nullptr) folder_ = buf.data();
    ch10_ = folder_ + "/bench.ch10";
    std::mt19937_64 rng(99);
    for (size_t i = 0; i + 8 <= stream_.size(); i += 8) {
      const uint64_t v = rng();
      std::memcpy(stream_.data() + i, &v, 8);
    }
  }
  ~BenchFolder() {
    std::error_code ec;
    if (!folder_.empty()) std::filesystem::remove_all(folder_, ec);
  }
  const std::vector<uint8_t>& stream() const { return stream_; }
  const std::string& ch10() const { return ch10_; }

 private:
  std::vector<uint8_t> stream_;
  std::string folder_, ch10_;
};

BenchFolder& Folder() {
  static BenchFolder folder;
  return folder;
}

// The whole stream into PCM packets; range(0) is the bit rate in kbit/s.
void BM_PcmPacketsFromStream(benchmark::State& state) {
  auto setup = std::make_unique<arkheaderstruct>();
  setup->BitsPerMinorFrame = 1000;
  setup->MinorFrameRate = static_cast<double>(state.range(0));  // kbit/s
  setup->StartTime = 86400.0;
  const BenchFolder& folder = Folder();
  const std::vector<uint8_t>& stream = folder.stream();
  int64_t packets = 0;
  for (auto _ : state) {
    ch10convertprocessclass conv(folder.ch10(), *setup);
    conv.Start();
    for (size_t at = 0; at < stream.size(); at += kGroupBytes) {
      conv.AcceptPackedBytes(stream.data() + at, std::min(kGroupBytes, stream.size() - at));
    }
    conv.Finish();
    packets += conv.PcmPacketCount();
    if (conv.OutputFailed()) state.SkipWithError("Chapter 10 write failed");
  }
  state.SetBytesProcessed(static_cast<int64_t>(state.iterations()) *
                          static_cast<int64_t>(kStreamBytes));
  state.counters["packets"] = benchmark::Counter(static_cast<double>(packets),
                                                 benchmark::Counter::kIsRate);
}
// 1 Mbit/s (12.5 KB packets), 10 Mbit/s (125 KB), 20.97 Mbit/s and up (256 KiB).
BENCHMARK(BM_PcmPacketsFromStream)->Arg(1000)->Arg(10000)->Arg(20972)
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

// range(1): 1 copies and sums in one pass, 0 only copies (memcpy).
void BM_CopyPcmData(benchmark::State& state) {
  const size_t length = static_cast<size_t>(state.range(0));
  std::vector<uint8_t> from(length + 1), to(length + 1);
  for (size_t i = 0; i < from.size(); ++i) from[i] = static_cast<uint8_t>(i * 31 + 7);
  for (auto _ : state) {
    if (state.range(1) != 0) {
      benchmark::DoNotOptimize(Ch10CopyAndChecksum16(to.data() + 1, from.data(), length));
    } else {
      std::memcpy(to.data() + 1, from.data(), length);
    }
    benchmark::ClobberMemory();
  }
  state.SetBytesProcessed(static_cast<int64_t>(state.iterations()) * state.range(0));
}
BENCHMARK(BM_CopyPcmData)->Args({51200, 1})->Args({51200, 0})->Args({262144, 1})->Args({262144, 0});

}  // namespace
