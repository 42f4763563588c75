// chunksig -j's chunking, a block at a time on worker threads: the records of
// the one-thread chunker for every kind of data, block size, number of
// threads and segment list, in every CPU tier this machine runs. Small
// blocks, so that chunks open across many block starts.
#include "chunksig/parallel_chunking.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <memory>
#include <random>
#include <string>
#include <vector>

#include "chunking/reference_chunker.h"
#include "tests/chunker_feed.h"
#include "tests/reference_model.h"
#include "tests/scratch.h"

namespace {

class ParallelTier : public ::testing::TestWithParam<CpuTier> {
 protected:
  void SetUp() override {
    if (const char* why = std::getenv("CHUNKTOOLS_NO_THREADS")) GTEST_SKIP() << why;
    if (GetParam() > supported_cpu_tier()) GTEST_SKIP() << "this CPU lacks the tier";
  }
};

// The one-thread records of `stream` (the data, then its 0xFF padding) in
// segments of these lengths; of the chunks that end by `stop` only.
std::vector<SignatureRecord> one_thread_records(const std::string& stream, const std::vector<std::size_t>& segments,
                                                std::size_t stop) {
  std::string padded(64, '\0');
  padded += stream;
  padded.append(64, '\0');
  static ReferenceChunker reference;
  reference.start();
  const std::string all = feed_chunker(reference, reinterpret_cast<const unsigned char*>(padded.data()) + 64, segments,
                                       {stream.size() + 1});
  std::vector<SignatureRecord> kept;
  std::size_t end = 0;
  for (std::size_t at = 0; at < all.size(); at += SignatureRecord::kBytes) {
    kept.push_back(SignatureRecord::decode(reinterpret_cast<const unsigned char*>(all.data()) + at));
    end += kept.back().len;
    if (end > stop) {
      kept.pop_back();
      break;
    }
  }
  return kept;
}

bool operator==(const SignatureRecord& a, const SignatureRecord& b) {
  return a.crc_plus1 == b.crc_plus1 && a.crc_plain == b.crc_plain && a.len == b.len;
}

TEST_P(ParallelTier, RecordsOfTheOneThreadChunker) {
  const ScratchDir dir;
  const std::string path = dir.path("data");
  std::mt19937 random(23);
  const std::string text = random_bytes(150000, 3);
  const struct {
    const char* name;
    std::string data;
    std::size_t stream_size;  // past the data: 0xFF
  } kinds[] = {
      {"random", random_bytes(200000, 2), 200000},
      // Cut only at 65535 bytes, which no block's own chunking shares.
      {"zeros", std::string(200000, '\0'), 200000},
      {"repeating", cycling_bytes(120000), 120000},
      {"data ends early", text, 190000},
  };
  for (const auto& kind : kinds) {
    write_file(path, kind.data);
    const std::string stream = kind.data + std::string(kind.stream_size - kind.data.size(), '\xFF');
    for (const std::size_t block : {64, 333, 4096, 70000}) {
      for (const unsigned workers : {1u, 3u}) {
        for (const auto reads : {ParallelChunking::Reads::kInOrder, ParallelChunking::Reads::kPositioned}) {
          // Long segments, short ones, and tiny ones handed over in groups of
          // up to the most the chunking takes at once.
          for (int round = 0; round < 3; ++round) {
            const std::size_t longest = round == 0 ? 150000 : round == 1 ? 3000 : 30;
            const std::size_t largest_group = round == 2 ? ParallelChunking::kMostSegmentEnds : 40;
            std::vector<std::size_t> segments;
            for (std::size_t total = 0; total < stream.size();) {
              const std::size_t length = std::min<std::size_t>(random() % longest + 1, stream.size() - total);
              segments.push_back(length);
              total += length;
            }
            // Stopping at the data's end, where the data ends early.
            const bool stop = kind.stream_size > kind.data.size() && round == 1;
            const std::string label = std::string(kind.name) + ", blocks of " + std::to_string(block) + ", " +
                                      std::to_string(workers) + " workers, round " + std::to_string(round) +
                                      (reads == ParallelChunking::Reads::kPositioned ? ", positioned" : ", in order");
            const std::vector<SignatureRecord> expected =
                one_thread_records(stream, segments, stop ? kind.data.size() : stream.size());
            FileHandle file = FileHandle::open_read(path.c_str());
            const auto chunking = std::make_unique<ParallelChunking>(file, reads, block);
            ASSERT_EQ(chunking->start(workers, GetParam()), workers) << label;
            // The segment ends handed over a few at a time, each group while
            // the chunks up to the group before are taken, as chunksig does.
            // Each record is compared as it comes, the run ending at the first
            // that differs: the chunks after it would not end where the
            // segments do.
            std::vector<std::vector<std::uint64_t>> groups;
            for (std::size_t next = 0, end = 0; next < segments.size();) {
              groups.emplace_back();
              for (std::size_t count = random() % largest_group + 1; count > 0 && next < segments.size(); --count) {
                end += segments[next++];
                groups.back().push_back(end);
              }
            }
            std::size_t taken = 0;
            std::uint64_t chunked = 0;
            bool stopped = false, differs = false;
            chunking->add_segment_ends(groups[0].data(), groups[0].size());
            for (std::size_t group = 0; group < groups.size() && !stopped && !differs; ++group) {
              if (group + 1 < groups.size())
                chunking->add_segment_ends(groups[group + 1].data(), groups[group + 1].size());
              while (chunked < groups[group].back() && !stopped && !differs) {
                SignatureRecord record;
                const ParallelChunking::Next got = chunking->next_chunk(stop, &record);
                stopped = got == ParallelChunking::Next::kPastFileEnd;
                if (stopped) break;
                differs =
                    got != ParallelChunking::Next::kChunk || taken == expected.size() || !(record == expected[taken]);
                EXPECT_FALSE(differs) << label << ": record " << taken;
                chunked += record.len;
                ++taken;
              }
            }
            chunking->finish();
            if (differs) return;
            EXPECT_EQ(stopped, stop) << label;
            EXPECT_EQ(taken, expected.size()) << label;
          }
        }
      }
    }
  }
}

// A data file that grows while it is read: from the end the run found first
// on, the stream is padding, as one thread reads it, although blocks read
// side by side after the growth find bytes there.
TEST_P(ParallelTier, AFileThatGrowsEndsWhereItFirstEnded) {
  const ScratchDir dir;
  const std::string path = dir.path("data");
  const std::string data = random_bytes(100, 9);
  const std::size_t stream_size = 1000;
  const std::string stream = data + std::string(stream_size - data.size(), '\xFF');
  const std::vector<std::size_t> segments{150, 150, 150, 150, 150, 150, 100};
  const std::vector<SignatureRecord> expected = one_thread_records(stream, segments, stream_size);
  for (const auto reads : {ParallelChunking::Reads::kInOrder, ParallelChunking::Reads::kPositioned}) {
    const std::string label = reads == ParallelChunking::Reads::kPositioned ? "positioned" : "in order";
    write_file(path, data);
    FileHandle file = FileHandle::open_read(path.c_str());
    const auto chunking = std::make_unique<ParallelChunking>(file, reads, 64);
    ASSERT_EQ(chunking->start(1, GetParam()), 1u) << label;
    std::vector<std::uint64_t> ends;
    for (const std::size_t length : segments) ends.push_back((ends.empty() ? 0 : ends.back()) + length);
    chunking->add_segment_ends(ends.data(), ends.size());
    std::vector<SignatureRecord> records;
    SignatureRecord record;
    while (records.size() < expected.size() && chunking->next_chunk(false, &record) == ParallelChunking::Next::kChunk) {
      records.push_back(record);
      // The first chunk ends past the block that found the end: the blocks
      // after it are read from here on, some perhaps before this write.
      if (records.size() == 1) {
        const std::string more(4000, 'x');
        std::FILE* grown = std::fopen(path.c_str(), "ab");
        const bool appended = grown != nullptr && std::fwrite(more.data(), 1, more.size(), grown) == more.size();
        EXPECT_TRUE(appended && std::fclose(grown) == 0) << label;
        if (!appended) break;
      }
    }
    chunking->finish();
    EXPECT_TRUE(chunking->file_ended()) << label;
    EXPECT_EQ(chunking->file_end(), data.size()) << label;
    ASSERT_EQ(records.size(), expected.size()) << label;
    for (std::size_t i = 0; i < records.size(); ++i)
      EXPECT_TRUE(records[i] == expected[i]) << label << ": record " << i;
  }
}

// A data file that cannot be read gives no chunk, however it is read.
TEST_P(ParallelTier, AFailedReadEndsTheChunks) {
  const ScratchDir dir;
  const std::string path = dir.path("data");
  write_file(path, std::string(5000, 'd'));
  // The code the system gives for reading a file opened to write.
  FileHandle probe = FileHandle::create_write(path.c_str());
  unsigned char byte;
  ASSERT_EQ(probe.read_some(&byte, 1), -1);
  const SystemError expected_error = probe.error();
  ASSERT_NE(expected_error, 0);
  for (const auto reads : {ParallelChunking::Reads::kInOrder, ParallelChunking::Reads::kPositioned}) {
    // Every thread's read fails, side by side where the reads are positioned.
    FileHandle unreadable = FileHandle::create_write(path.c_str());
    const auto chunking = std::make_unique<ParallelChunking>(unreadable, reads, 64);
    ASSERT_EQ(chunking->start(2, GetParam()), 2u);
    const std::uint64_t end = 5000;
    chunking->add_segment_ends(&end, 1);
    SignatureRecord record;
    EXPECT_EQ(chunking->next_chunk(false, &record), ParallelChunking::Next::kReadFailed);
    EXPECT_EQ(chunking->read_error(), expected_error);
    chunking->finish();
  }
}

INSTANTIATE_TEST_SUITE_P(EveryTier, ParallelTier, ::testing::Range(kPortableTier, kTierCount),
                         [](const ::testing::TestParamInfo<CpuTier>& param_info) {
                           return std::string(cpu_tier_name(param_info.param));
                         });

}  // namespace
