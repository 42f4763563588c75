// The in-memory join of one partition against a plain model (new: in no OLD
// entry and in no earlier NEW one), with a set of every size down to eight
// identities: roomy, split into parts by the hash, and down to the last
// resort, identities that share every hash bit a split can use; and the
// summary's counts of the partition's NEW chunks.
#include "sigdiff/chained_join.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <random>
#include <set>
#include <string>
#include <vector>

namespace {

constexpr std::uint64_t kKey = 0x5DEECE66D2545F49u;

using Identity = std::string;  // 10 bytes

Identity identity_from(std::mt19937_64& random) {
  Identity identity(kIdentityBytes, '\0');
  for (char& byte : identity) byte = static_cast<char>(random());
  return identity;
}

std::uint64_t hash_of(const Identity& identity) {
  return identity_hash(reinterpret_cast<const unsigned char*>(identity.data()), kKey);
}

// `count` distinct identities; when `shared_bits` is set, all with the same
// 16 hash bits from bit 24 on (the bits a split of the partition uses).
std::vector<Identity> distinct_identities(std::size_t count, std::uint64_t seed, bool shared_bits) {
  std::mt19937_64 random(seed);
  std::set<Identity> seen;
  std::vector<Identity> out;
  while (out.size() < count) {
    const Identity identity = identity_from(random);
    if (shared_bits && ((hash_of(identity) >> 24) & 0xFFFF) != 0x1234) continue;
    if (seen.insert(identity).second) out.push_back(identity);
  }
  return out;
}

// `count` picks from `pool`, with repeats.
std::vector<Identity> picks(const std::vector<Identity>& pool, std::size_t count, std::uint64_t seed) {
  std::mt19937_64 random(seed);
  std::vector<Identity> out;
  for (std::size_t i = 0; i < count; ++i) out.push_back(pool[random() % pool.size()]);
  return out;
}

void append(BlockPool& pool, BlockChain& chain, const Identity& identity) {
  append_entry(pool, chain, hash_of(identity), reinterpret_cast<const unsigned char*>(identity.data()));
}

struct JoinCase {
  const char* name;
  std::size_t set_slots;
  std::size_t distinct;     // identities in play
  std::size_t old_entries;  // picks for OLD, from the first half of them
  std::size_t new_entries;  // picks for NEW, from all of them
  bool shared_bits;
};

const JoinCase kJoinCases[] = {
    {"RoomySetManyBlocks", 1 << 14, 3000, 2000, 2500, false},
    {"SetOfEightSplitByTheHash", 16, 700, 900, 1200, false},
    {"SetOfSixtyFourOnlyNew", 64, 300, 0, 1000, false},
    {"SharedSplitBitsLastResort", 16, 30, 40, 60, true},
};

void PrintTo(const JoinCase& c, std::ostream* os) { *os << c.name; }

class ChainedJoin : public testing::TestWithParam<JoinCase> {};

TEST_P(ChainedJoin, MarksExactlyTheFirstOccurrencesNotInOld) {
  const JoinCase& c = GetParam();
  const std::vector<Identity> all = distinct_identities(c.distinct, 11, c.shared_bits);
  const std::vector<Identity> old_half(all.begin(), all.begin() + static_cast<std::ptrdiff_t>(all.size() / 2));
  const std::vector<Identity> olds = c.old_entries == 0 ? std::vector<Identity>() : picks(old_half, c.old_entries, 12);
  const std::vector<Identity> news = picks(all, c.new_entries, 13);

  std::vector<unsigned char> blocks(pool_blocks(olds.size() + news.size(), 2) * kChainBlockBytes);
  std::vector<std::uint32_t> next(blocks.size() / kChainBlockBytes);
  BlockPool pool{blocks.data(), next.data(), 0, next.size()};
  BlockChain old_chain, new_chain;
  // The two sides' blocks interleaved, as the partitions' are.
  for (std::size_t i = 0; i < olds.size() || i < news.size(); ++i) {
    if (i < olds.size()) append(pool, old_chain, olds[i]);
    if (i < news.size()) append(pool, new_chain, news[i]);
  }
  ASSERT_LE(pool.taken, pool.count);

  std::vector<IdentitySet::Slot> slots(c.set_slots);
  IdentitySet set;
  set.attach(slots.data(), slots.size());
  // The partition's run of marks starts at bit 70 of the bitmap.
  constexpr std::size_t kFirstBit = 70;
  std::vector<std::uint64_t> marks((kFirstBit + news.size() + 63) / 64);
  join_chains(set, pool, old_chain, new_chain, marks.data(), kFirstBit);

  std::set<Identity> known(olds.begin(), olds.end());
  std::string expected(kFirstBit, '0'), got;
  ChunkCounts expected_counts;
  for (const Identity& identity : news) {
    const bool is_new = known.insert(identity).second;
    expected += is_new ? '1' : '0';
    const std::uint64_t length = static_cast<unsigned char>(identity[8]) | static_cast<unsigned char>(identity[9]) << 8;
    ++expected_counts.chunks;
    expected_counts.bytes += length;
    expected_counts.new_chunks += is_new ? 1 : 0;
    expected_counts.new_bytes += is_new ? length : 0;
  }
  for (std::size_t bit = 0; bit < expected.size(); ++bit) got += ((marks[bit / 64] >> (bit % 64)) & 1) != 0 ? '1' : '0';
  EXPECT_EQ(got, expected);

  // The summary's counts, from the chain and its marks.
  ChunkCounts counts;
  count_chain(pool, new_chain, marks.data(), kFirstBit, counts);
  EXPECT_EQ(counts.chunks, expected_counts.chunks);
  EXPECT_EQ(counts.bytes, expected_counts.bytes);
  EXPECT_EQ(counts.new_chunks, expected_counts.new_chunks);
  EXPECT_EQ(counts.new_bytes, expected_counts.new_bytes);
}

INSTANTIATE_TEST_SUITE_P(Sets, ChainedJoin, testing::ValuesIn(kJoinCases),
                         [](const testing::TestParamInfo<JoinCase>& param_info) {
                           return std::string(param_info.param.name);
                         });

}  // namespace
