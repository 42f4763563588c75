// Micro-benchmarks of the chunker's kernels in every tier this CPU runs: the
// signature CRC pair at typical chunk lengths, the candidate scan over a
// whole span, and the whole chunker over a span in memory (scan or cut
// search, walk and CRCs), with the byte-at-a-time ChunkHasher for scale.
#include <benchmark/benchmark.h>

#include <cstdint>
#include <string>
#include <vector>

#include "chunking/chunk_hasher.h"
#include "chunking/fast_chunker.h"
#include "chunking/kernels/chunk_kernels.h"

namespace {

std::vector<unsigned char> random_stream(std::size_t size) {
  std::vector<unsigned char> bytes(size + 128);
  std::uint64_t state = 0x9E3779B97F4A7C15ULL;
  for (unsigned char& byte : bytes) {
    state ^= state << 13, state ^= state >> 7, state ^= state << 17;
    byte = static_cast<unsigned char>(state >> 24);
  }
  return bytes;
}

const std::vector<unsigned char> kStream = random_stream(FastChunker::kMaxSpan);
const unsigned char* const kSpan = kStream.data() + 64;  // bytes before it for the window

void crc_pair(benchmark::State& state, CpuTier tier) {
  const ChunkKernels kernels = kernels_for(tier);
  const auto length = static_cast<std::size_t>(state.range(0));
  for (auto _ : state) {
    CrcPair pair{0, 0};
    kernels.crc_pair(pair, kSpan, length);
    benchmark::DoNotOptimize(pair);
  }
  state.SetBytesProcessed(static_cast<std::int64_t>(state.iterations() * length));
}

void scan(benchmark::State& state, CpuTier tier) {
  const ChunkKernels kernels = kernels_for(tier);
  static std::uint64_t marks[FastChunker::kMaxSpan / 64 + 1];
  for (auto _ : state) {
    kernels.scan(kSpan, FastChunker::kMaxSpan, marks);
    benchmark::DoNotOptimize(marks);
  }
  state.SetBytesProcessed(static_cast<std::int64_t>(state.iterations() * FastChunker::kMaxSpan));
}

void chunker(benchmark::State& state, CpuTier tier) {
  static FastChunker fast;
  static SignatureRecord ended[FastChunker::kMaxChunksPerSpan];
  fast.start(tier);
  for (auto _ : state) {
    benchmark::DoNotOptimize(fast.take(kSpan, FastChunker::kMaxSpan, ended));
    benchmark::DoNotOptimize(ended);
  }
  state.SetBytesProcessed(static_cast<std::int64_t>(state.iterations() * FastChunker::kMaxSpan));
}

void chunk_hasher(benchmark::State& state) {
  ChunkHasher hasher;
  hasher.init();
  for (auto _ : state) {
    for (std::size_t i = 0; i < FastChunker::kMaxSpan; ++i) hasher.push(kSpan[i]);
    benchmark::DoNotOptimize(hasher.roll);
  }
  state.SetBytesProcessed(static_cast<std::int64_t>(state.iterations() * FastChunker::kMaxSpan));
}

int register_all() {
  for (CpuTier tier = kPortableTier; tier <= supported_cpu_tier(); ++tier) {
    const std::string name = cpu_tier_name(tier);
    benchmark::RegisterBenchmark(("crc_pair/" + name).c_str(), crc_pair, tier)
        ->Arg(64)->Arg(257)->Arg(4096)->Arg(65535);
    benchmark::RegisterBenchmark(("scan/" + name).c_str(), scan, tier);
    benchmark::RegisterBenchmark(("chunker/" + name).c_str(), chunker, tier);
  }
  benchmark::RegisterBenchmark("chunk_hasher_per_byte", chunk_hasher);
  return 0;
}

const int registered = register_all();

}  // namespace

BENCHMARK_MAIN();
