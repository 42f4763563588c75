#include "sigdiff/chained_join.h"

#include "records/records.h"

namespace {

// The part of a partition a pass joins: the identities whose hash has `sub`
// in its `bits` bits from kSplitShift (none: the whole partition). These bits
// lie clear of the set's slot bits and of the partition's.
constexpr unsigned kSplitShift = 24;
constexpr unsigned kMostSplitBits = 16;
struct Part {
  unsigned bits;
  std::uint64_t sub;
  bool holds(std::uint64_t hash) const {
    return bits == 0 || ((hash >> kSplitShift) & ((std::uint64_t{1} << bits) - 1)) == sub;
  }
};

// Calls visit(entries, count, position) for each block of `chain` in order,
// `position` being the chain's count of entries before the block.
template <typename Visit>
void for_each_block(const BlockPool& pool, const BlockChain& chain, Visit visit) {
  std::uint64_t position = 0;
  std::uint32_t block = chain.first;
  while (position < chain.entries) {
    const std::uint64_t left = chain.entries - position;
    const std::size_t count = left < kEntriesPerBlock ? static_cast<std::size_t>(left) : kEntriesPerBlock;
    visit(pool.blocks + std::uint64_t{block} * kChainBlockBytes, count, position);
    position += count;
    block = pool.next[block];
  }
}

void set_bit(std::uint64_t* bits, std::uint64_t bit) { bits[bit / 64] |= std::uint64_t{1} << (bit % 64); }

// The hash an entry holds.
std::uint64_t hash_of(const unsigned char* entry) {
  std::uint64_t hash;
  std::memcpy(&hash, entry, sizeof hash);
  return hash;
}

// The set's slots are asked of the cache kAhead entries ahead of the lookups:
// a partition's set outgrows the nearest caches.
constexpr std::size_t kAhead = 8;

// Adds each entry of the block (`count` of them) that is in `part` to `set`.
// For NEW's entries (`verdicts` not null), sets bit `first_bit` + i for the
// i-th entry of the block that was not there. False when the set filled.
bool add_block(IdentitySet& set, const unsigned char* entries, std::size_t count, Part part, std::uint64_t* verdicts,
               std::uint64_t first_bit) {
  for (std::size_t i = 0; i < kAhead && i < count; ++i) set.prefetch(hash_of(entries + i * kIdentityBytes));
  for (std::size_t i = 0; i < count; ++i) {
    if (i + kAhead < count) set.prefetch(hash_of(entries + (i + kAhead) * kIdentityBytes));
    const unsigned char* entry = entries + i * kIdentityBytes;
    const std::uint64_t hash = hash_of(entry);
    if (!part.holds(hash)) continue;
    const IdentitySet::Added added = set.add(entry, hash);
    if (added == IdentitySet::Added::kFull) return false;
    if (added == IdentitySet::Added::kNew && verdicts != nullptr) set_bit(verdicts, first_bit + i);
  }
  return true;
}

// Joins the part `part` of the partition; false when its distinct
// identities do not fit in the set (the verdicts set so far are right: every
// OLD identity of the part was in the set before NEW's were looked up).
bool join_part(IdentitySet& set, const BlockPool& pool, const BlockChain& olds, const BlockChain& news, Part part,
               std::uint64_t* verdicts, std::uint64_t first_bit) {
  std::uint64_t capacity = 16;
  while (capacity < 2 * (olds.entries + news.entries) && capacity < set.most_slots()) capacity <<= 1;
  set.start(static_cast<std::size_t>(capacity));
  bool fits = true;
  for_each_block(pool, olds, [&](const unsigned char* entries, std::size_t count, std::uint64_t) {
    fits = fits && add_block(set, entries, count, part, nullptr, 0);
  });
  for_each_block(pool, news, [&](const unsigned char* entries, std::size_t count, std::uint64_t position) {
    fits = fits && add_block(set, entries, count, part, verdicts, first_bit + position);
  });
  return fits;
}

// Whether `identity` is among the first `before` entries of `chain`.
bool chain_holds(const BlockPool& pool, const BlockChain& chain, const unsigned char* identity, std::uint64_t before) {
  bool found = false;
  for_each_block(pool, chain, [&](const unsigned char* entries, std::size_t count, std::uint64_t position) {
    for (std::size_t i = 0; i < count && !found && position + i < before; ++i) {
      found = std::memcmp(entries + i * kIdentityBytes, identity, kIdentityBytes) == 0;
    }
  });
  return found;
}

// The last resort, for a part whose distinct identities still overflow the
// set when split by every bit set aside for splitting (only identities that
// share those hash bits: not to be met under a key drawn per run): each NEW
// entry compared with all before it.
void join_part_by_comparing(const BlockPool& pool, const BlockChain& olds, const BlockChain& news, Part part,
                            std::uint64_t* verdicts, std::uint64_t first_bit) {
  for_each_block(pool, news, [&](const unsigned char* entries, std::size_t count, std::uint64_t position) {
    for (std::size_t i = 0; i < count; ++i) {
      const unsigned char* entry = entries + i * kIdentityBytes;
      if (!part.holds(hash_of(entry))) continue;
      if (chain_holds(pool, olds, entry, olds.entries) || chain_holds(pool, news, entry, position + i)) continue;
      set_bit(verdicts, first_bit + position + i);
    }
  });
}

}  // namespace

void take_block(BlockPool& pool, BlockChain& chain) {
  const std::uint32_t block = static_cast<std::uint32_t>(pool.taken++);
  if (chain.entries == 0) {
    chain.first = block;
  } else {
    pool.next[chain.last] = block;
  }
  chain.last = block;
  chain.at = pool.blocks + std::uint64_t{block} * kChainBlockBytes;
  chain.end = chain.at + kEntriesPerBlock * kIdentityBytes;
}

void count_chain(const BlockPool& pool, const BlockChain& news, const std::uint64_t* verdicts, std::uint64_t first_bit,
                 ChunkCounts& counts) {
  for_each_block(pool, news, [&](const unsigned char* entries, std::size_t count, std::uint64_t position) {
    for (std::size_t i = 0; i < count; ++i) {
      // An entry keeps the record's length where the record has it.
      const std::uint64_t bytes = SignatureRecord::len_of(entries + i * kIdentityBytes);
      const std::uint64_t bit = first_bit + position + i;
      const std::uint64_t is_new = (verdicts[bit / 64] >> (bit % 64)) & 1;
      counts.bytes += bytes;
      counts.new_chunks += is_new;
      counts.new_bytes += bytes & (0 - is_new);
    }
    counts.chunks += count;
  });
}

void join_chains(IdentitySet& set, const BlockPool& pool, const BlockChain& olds, const BlockChain& news,
                 std::uint64_t* verdicts, std::uint64_t first_bit) {
  if (news.entries == 0) return;
  for (unsigned bits = 0; bits <= kMostSplitBits; ++bits) {
    bool joined = true;
    for (std::uint64_t sub = 0; sub < (std::uint64_t{1} << bits) && joined; ++sub) {
      joined = join_part(set, pool, olds, news, Part{bits, sub}, verdicts, first_bit);
    }
    if (joined) return;
  }
  for (std::uint64_t sub = 0; sub < (std::uint64_t{1} << kMostSplitBits); ++sub) {
    const Part part{kMostSplitBits, sub};
    if (!join_part(set, pool, olds, news, part, verdicts, first_bit)) {
      join_part_by_comparing(pool, olds, news, part, verdicts, first_bit);
    }
  }
}
