// The fast path against its references, in every CPU tier this machine runs:
// the kernels against the table CRC and the exact window test, and
// FastChunker against ChunkHasher driven byte by byte, however the stream is
// split into spans and segments.
#include <gtest/gtest.h>

#include <cstring>
#include <random>
#include <string>
#include <vector>

#include "chunking/crc32.h"
#include "chunking/crc_batch.h"
#include "chunking/cut_rule.h"
#include "chunking/fast_chunker.h"
#include "chunking/kernels/chunk_kernels.h"
#include "chunking/kernels/tier_table.h"
#include "chunking/reference_chunker.h"
#include "tests/chunker_feed.h"
#include "tests/reference_model.h"

namespace {

// Readable bytes before and after every span, as the kernels may read there.
constexpr std::size_t kPad = kScanReadsBefore > kScanReadsAfter ? kScanReadsBefore : kScanReadsAfter;

// `bytes` with kPad zero bytes on each side.
struct Padded {
  explicit Padded(const std::string& bytes) : storage(kPad, '\0') {
    storage += bytes;
    storage.append(kPad, '\0');
  }
  const unsigned char* at(std::size_t offset) const {
    return reinterpret_cast<const unsigned char*>(storage.data()) + kPad + offset;
  }
  std::string storage;
};

std::string plus_one(std::string bytes) {
  for (char& c : bytes) c = static_cast<char>(c + 1);
  return bytes;
}

class Tier : public ::testing::TestWithParam<CpuTier> {
 protected:
  void SetUp() override {
    if (GetParam() > supported_cpu_tier()) GTEST_SKIP() << "this CPU lacks the tier";
    kernels_ = kernels_for(GetParam());
  }
  ChunkKernels kernels_{};
};

TEST(Crc32, CheckValueAndEverySplit) {
  const std::string text = "123456789";
  const auto* bytes = reinterpret_cast<const unsigned char*>(text.data());
  for (std::size_t split = 0; split <= text.size(); ++split) {
    CrcPair pair{0, 0};
    crc32_pair_update_portable(pair, bytes, split);
    crc32_pair_update_portable(pair, bytes + split, text.size() - split);
    EXPECT_EQ(pair.plain, 0xCBF43926u) << "split " << split;
    // The same from the two pieces' CRCs, computed apart.
    CrcPair first{0, 0}, second{0, 0};
    crc32_pair_update_portable(first, bytes, split);
    crc32_pair_update_portable(second, bytes + split, text.size() - split);
    crc32_pair_combine(first, second, text.size() - split);
    EXPECT_EQ(first.plain, 0xCBF43926u) << "split " << split;
    EXPECT_EQ(first.plus1, pair.plus1) << "split " << split;
  }
}

TEST_P(Tier, CrcPairAtEveryLengthAndAlignment) {
  const std::string data = random_bytes(4096 + 64, 7);
  const Padded padded(data);
  for (std::size_t start = 0; start < 64; start += 7) {
    for (std::size_t length = 0; length + start <= data.size(); length += length < 600 ? 1 : 37) {
      // Continue from a CRC over a few earlier bytes, as chunks crossing spans do.
      const std::string before = data.substr(0, start % 5);
      CrcPair pair{reference_crc32(before.data(), before.size()),
                   reference_crc32(plus_one(before).data(), before.size())};
      kernels_.crc_pair(pair, padded.at(start), length);
      const std::string covered = before + data.substr(start, length);
      ASSERT_EQ(pair.plain, reference_crc32(covered.data(), covered.size()))
          << "start " << start << " length " << length;
      ASSERT_EQ(pair.plus1, reference_crc32(plus_one(covered).data(), covered.size()))
          << "start " << start << " length " << length;
    }
  }
}

// Chunks hashed in batches, in their order of step counts, get the pairs
// they get one by one, in their own places: batches of none, of one, of
// every length class at once, and longer than one sort.
TEST_P(Tier, BatchedCrcPairsAreThoseOfEachChunk) {
  const std::string data = random_bytes(200000, 8);
  std::mt19937 random(9);
  for (const std::size_t count : {std::size_t{0}, std::size_t{1}, kCrcBatchChunks, 3 * kCrcBatchChunks + 5}) {
    std::vector<const unsigned char*> starts;
    std::vector<std::uint32_t> lengths;
    for (std::size_t i = 0; i < count; ++i) {
      // Mostly a few hundred bytes, some up to 1,300, as chunks are.
      const std::uint32_t length = 1 + random() % (i % 5 == 0 ? 1300 : 400);
      starts.push_back(reinterpret_cast<const unsigned char*>(data.data()) + random() % (data.size() - length));
      lengths.push_back(length);
    }
    std::vector<CrcPair> pairs(count, CrcPair{1, 2});
    batch_crc_pairs(kernels_, starts.data(), lengths.data(), count, pairs.data());
    for (std::size_t i = 0; i < count; ++i) {
      CrcPair alone{0, 0};
      kernels_.crc_pair(alone, starts[i], lengths[i]);
      ASSERT_EQ(pairs[i].plain, alone.plain) << "count " << count << " chunk " << i;
      ASSERT_EQ(pairs[i].plus1, alone.plus1) << "count " << count << " chunk " << i;
    }
  }
}

// A passing window repeated, so that one position in 12 passes.
std::string repeated_passing_window(std::size_t size) {
  std::string window;
  for (std::uint32_t seed = 1;; ++seed) {
    window = random_bytes(12, seed);
    if (reference_crc32(window.data(), 12) < kBoundaryThreshold) break;
  }
  std::string repeating;
  while (repeating.size() < size) repeating += window;
  return repeating;
}

bool window_passes(const std::string& data, std::size_t last) {
  return reference_crc32(data.data() + last - 11, 12) < kBoundaryThreshold;
}

TEST_P(Tier, ScanMarksEveryPassingWindow) {
  const std::string random = random_bytes(70000, 3), repeated = repeated_passing_window(5000), ones(3000, '\xFF');
  for (const std::string* input : {&random, &repeated, &ones}) {
    const std::string& data = *input;
    const Padded padded(data);
    for (std::size_t start : {std::size_t{12}, std::size_t{13}, std::size_t{40}, std::size_t{75}}) {
      const std::size_t count = data.size() - start;
      std::vector<std::uint64_t> marks(count / 64 + 1);
      kernels_.scan(padded.at(start), count, marks.data());
      std::size_t marked = 0, passed = 0;
      for (std::size_t i = 0; i < count; ++i) {
        const std::string window = data.substr(start + i - 11, 12);
        const bool passes = window_passes(data, start + i);
        const bool mark = (marks[i / 64] >> (i % 64)) & 1;
        ASSERT_EQ(window_crc(padded.at(start + i)), reference_crc32(window.data(), 12));
        ASSERT_TRUE(mark || !passes) << "position " << start + i;
        marked += mark;
        passed += passes;
      }
      // A filter that marked everything would pass the check above; on
      // random data about 1 position in 128 is marked.
      if (input == &random) {
        EXPECT_LE(marked, passed + count / 64);
      }
      if (input == &repeated) {
        EXPECT_GE(passed, count / 12);
      }
    }
  }
}

TEST_P(Tier, CutSearchFindsTheFirstPassingWindow) {
  if (kernels_.find_cut == nullptr) GTEST_SKIP() << "the tier marks whole spans instead";
  const std::string random = random_bytes(40000, 9), repeated = repeated_passing_window(3000), ones(3000, '\xFF');
  std::mt19937 pick(5);
  for (const std::string* input : {&random, &repeated, &ones}) {
    const std::string& data = *input;
    const Padded padded(data);
    for (int trial = 0; trial < 2000; ++trial) {
      // Ranges of every length up to a few rounds, some ending at the data's
      // last byte, where the search reads up to the padding's end.
      const std::size_t length = pick() % 300;
      const std::size_t from = 11 + pick() % (data.size() - 11 - length);
      const std::size_t last = trial % 10 == 0 ? data.size() - 1 : from + length;
      std::size_t expected = kNoCut;
      for (std::size_t position = from; position <= last && expected == kNoCut; ++position) {
        if (window_passes(data, position)) expected = position;
      }
      ASSERT_EQ(kernels_.find_cut(padded.at(0), from, last), expected) << "from " << from << " last " << last;
    }
  }
}

// What a chunker reports for `data`: see feed_chunker.
template <typename Chunker>
std::string chunk(Chunker& chunker, const std::string& data, const std::vector<std::size_t>& segments,
                  const std::vector<std::size_t>& spans) {
  const Padded padded(data);
  return feed_chunker(chunker, padded.at(0), segments, spans);
}

std::string reference_signatures(const std::string& data, const std::vector<std::size_t>& segments) {
  static ReferenceChunker reference;
  reference.start();
  return chunk(reference, data, segments, {data.size() + 1});
}

TEST_P(Tier, CutsAsChunkHasherDoesOnRandomSplits) {
  std::mt19937 random(11);
  const std::string kinds[] = {random_bytes(300000, 5), std::string(200000, '\0'),
                               std::string(140000, '\xFF'), cycling_bytes(100000)};
  for (const std::string& data : kinds) {
    for (int round = 0; round < 6; ++round) {
      std::vector<std::size_t> segments, spans;
      for (std::size_t total = 0; total < data.size();) {
        std::size_t length = random() % (round % 2 ? 2000 : 200000) + 1;
        length = std::min(length, data.size() - total);
        segments.push_back(length);
        total += length;
      }
      for (int i = 0; i < 20; ++i) spans.push_back(random() % (round < 3 ? 100 : 70000) + 1);
      static FastChunker fast;
      fast.start(GetParam());
      ASSERT_EQ(chunk(fast, data, segments, spans), reference_signatures(data, segments))
          << "round " << round;
    }
  }
}

TEST_P(Tier, SpanAndSegmentEdgesAroundEveryCut) {
  // Put a span edge, then a segment end, at every offset from 13 bytes before
  // to 2 bytes after each of the first cuts, so the window straddles edges in
  // every way.
  const std::string data = random_bytes(6000, 9);
  std::vector<std::size_t> cuts;
  {
    ChunkHasher hasher;
    hasher.init();
    for (std::size_t i = 0; i < data.size() && cuts.size() < 6; ++i) {
      hasher.push(static_cast<unsigned char>(data[i]));
      if (ends_chunk(hasher.roll, hasher.count)) {
        cuts.push_back(i + 1);
        hasher.seal();
      }
    }
  }
  ASSERT_GE(cuts.size(), 3u);
  for (std::size_t cut : cuts) {
    for (std::size_t edge = cut - 13; edge <= cut + 2; ++edge) {
      static FastChunker fast;
      fast.start(GetParam());
      const std::vector<std::size_t> whole = {data.size()};
      ASSERT_EQ(chunk(fast, data, whole, {edge, data.size()}), reference_signatures(data, whole))
          << "span edge at " << edge;
      const std::vector<std::size_t> split = {edge, data.size() - edge};
      fast.start(GetParam());
      ASSERT_EQ(chunk(fast, data, split, {edge % 97 + 1, 5000}), reference_signatures(data, split))
          << "segment end at " << edge;
    }
  }
}

TEST_P(Tier, LongestChunkAndWholeSpans) {
  // No cut by the rule in 300000 zero bytes: chunks of kMaxChunk, fed in the
  // largest spans the driver hands out.
  const std::string zeros(300000, '\0');
  static FastChunker fast;
  fast.start(GetParam());
  const std::vector<std::size_t> whole = {zeros.size()};
  const std::string signatures = chunk(fast, zeros, whole, {FastChunker::kMaxSpan});
  EXPECT_EQ(signatures, reference_signatures(zeros, whole));
  EXPECT_EQ(signatures.size(), 10u * (300000 / kMaxChunk + 1));
}

// Sets the last 4 bytes of the window that ends at data[last] so that its
// CRC-32 is `target`. The CRC is affine in those 32 bits, and they reach
// every value: solved over GF(2) from the CRCs of the 32 unit vectors.
void forge_window(std::string& data, std::size_t last, std::uint32_t target) {
  unsigned char* bytes = reinterpret_cast<unsigned char*>(&data[0]);
  const auto crc_with = [&](std::uint32_t tail) {
    for (int k = 0; k < 4; ++k) bytes[last - 3 + k] = static_cast<unsigned char>(tail >> (8 * k));
    return window_crc(bytes + last);
  };
  const std::uint32_t base = crc_with(0);
  std::uint32_t pivot[32] = {}, tail_of[32] = {};  // by leading bit
  for (int i = 0; i < 32; ++i) {
    std::uint32_t column = crc_with(1u << i) ^ base, tail = 1u << i;
    for (int bit = 31; bit >= 0 && column != 0; --bit) {
      if (!(column >> bit & 1)) continue;
      if (pivot[bit] == 0) {
        pivot[bit] = column;
        tail_of[bit] = tail;
        break;
      }
      column ^= pivot[bit];
      tail ^= tail_of[bit];
    }
  }
  std::uint32_t wanted = target ^ base, tail = 0;
  for (int bit = 31; bit >= 0; --bit) {
    if (wanted >> bit & 1) {
      wanted ^= pivot[bit];
      tail ^= tail_of[bit];
    }
  }
  crc_with(tail);
}

// Zero bytes (whose windows never pass) with one window forged to end at
// `last` with CRC `target`; the 8 bytes before its forged tail are chosen so
// that no other window passes.
std::string stream_with_window(std::size_t size, std::size_t last, std::uint32_t target) {
  for (std::uint32_t seed = 1;; ++seed) {
    std::string data(size, '\0');
    const std::string given = random_bytes(8, seed);
    data.replace(last - 11, 8, given);
    forge_window(data, last, target);
    bool alone = true;
    for (std::size_t i = kWindowBytes - 1; i < size; ++i) {
      if (i != last && window_crc(reinterpret_cast<const unsigned char*>(data.data()) + i) < kBoundaryThreshold) {
        alone = false;
      }
    }
    if (alone) return data;
  }
}

TEST_P(Tier, WindowsAtTheThresholdAtEveryEdge) {
  // A window whose CRC is one below the threshold cuts; one at it or one
  // above does not. Each ends at a position the kernels treat apart: before,
  // at and after the first possible cut (the 100th byte of a chunk), at the
  // edges of 64-position rounds, and at the stream's last byte; and the
  // stream is fed whole, in rounds of 64, split just before or after the
  // window, and with a segment end that makes it the first possible cut.
  constexpr std::size_t kSize = 1100;
  for (const std::uint32_t target : {kBoundaryThreshold - 1, kBoundaryThreshold, kBoundaryThreshold + 1}) {
    for (const std::size_t last : {98, 99, 100, 127, 128, 163, 191, 192, 255, 256, 1023, 1024, 1099}) {
      const std::string data = stream_with_window(kSize, last, target);
      ASSERT_EQ(window_crc(reinterpret_cast<const unsigned char*>(data.data()) + last), target);
      const std::vector<std::size_t> whole = {kSize};
      // The forging is right: the reference cuts after `last` exactly when
      // the chunk has reached its first possible cut and the CRC is below.
      const std::string reference = reference_signatures(data, whole);
      const std::size_t first_length = static_cast<std::uint8_t>(reference[8]) |
                                       static_cast<std::uint8_t>(reference[9]) << 8;
      const bool cuts = target < kBoundaryThreshold && last + 1 >= kMinChunk;
      ASSERT_EQ(first_length, cuts ? last + 1 : kSize) << "CRC " << target << " ending at " << last;
      std::vector<std::vector<std::size_t>> segmentations = {whole};
      if (last >= kMinChunk) {
        const std::size_t chunk_start = last - (kMinChunk - 1);
        segmentations.push_back({chunk_start, kSize - chunk_start});
      }
      const std::vector<std::vector<std::size_t>> feeds = {{kSize}, {64}, {last, kSize}, {last + 1, kSize}};
      for (const auto& segments : segmentations) {
        for (const auto& spans : feeds) {
          static FastChunker fast;
          fast.start(GetParam());
          ASSERT_EQ(chunk(fast, data, segments, spans), reference_signatures(data, segments))
              << "CRC " << target << " ending at " << last << ", first segment " << segments[0]
              << ", first span " << spans[0];
        }
      }
    }
  }
}

INSTANTIATE_TEST_SUITE_P(EveryTier, Tier, ::testing::Range(kPortableTier, kTierCount),
                         [](const ::testing::TestParamInfo<CpuTier>& param_info) {
                           return std::string(cpu_tier_name(param_info.param));
                         });

}  // namespace
