#include "sigdiff/chained_join.h"

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

// Calls visit(entries, count) for each block of `chain` in order.
template <typename Visit>
void for_each_block(const BlockPool& pool, const BlockChain& chain, std::size_t per_block, Visit visit) {
  std::uint64_t left = chain.entries;
  std::uint32_t block = chain.first;
  while (left > 0) {
    const std::size_t count = left < per_block ? static_cast<std::size_t>(left) : per_block;
    visit(pool.blocks + std::uint64_t{block} * kChainBlockBytes, count);
    left -= count;
    block = pool.next[block];
  }
}

// Hashes run kAhead entries ahead of the lookups, whose slots they ask the
// cache for: a partition's set outgrows the nearest caches.
constexpr std::size_t kAhead = 8;

// Adds each entry of the block (of `count` entries of `entry_bytes`) that is
// in `part` to `set`; for NEW's entries (`marks` not null), sets the mark of
// each that was not there. False when the set filled.
bool add_block(IdentitySet& set, std::uint64_t key, const unsigned char* entries, std::size_t count,
               std::size_t entry_bytes, Part part, std::uint64_t* marks) {
  std::uint64_t hashes[kAhead];
  for (std::size_t i = 0; i < kAhead && i < count; ++i) {
    hashes[i] = identity_hash(entries + i * entry_bytes, key);
    set.prefetch(hashes[i]);
  }
  for (std::size_t i = 0; i < count; ++i) {
    const unsigned char* entry = entries + i * entry_bytes;
    const std::uint64_t hash = hashes[i % kAhead];
    if (i + kAhead < count) {
      hashes[i % kAhead] = identity_hash(entries + (i + kAhead) * entry_bytes, key);
      set.prefetch(hashes[i % kAhead]);
    }
    if (!part.holds(hash)) continue;
    const IdentitySet::Added added = set.add(entry, hash);
    if (added == IdentitySet::Added::kFull) return false;
    if (added == IdentitySet::Added::kNew && marks != nullptr) {
      const std::uint64_t index = load_le(entry + kIdentityBytes, 5);
      marks[index / 64] |= std::uint64_t{1} << (index % 64);
    }
  }
  return true;
}

// Joins the part `part` of the partition; false when its distinct
// identities do not fit in the set (the marks set so far are right: every
// OLD identity of the part was in the set before NEW's were looked up).
bool join_part(IdentitySet& set, std::uint64_t key, const BlockPool& pool, const BlockChain& olds,
               const BlockChain& news, Part part, std::uint64_t* marks) {
  std::uint64_t capacity = 16;
  while (capacity < 2 * (olds.entries + news.entries) && capacity < set.most_slots()) capacity <<= 1;
  set.start(static_cast<std::size_t>(capacity));
  bool fits = true;
  for_each_block(pool, olds, kOldPerBlock, [&](const unsigned char* entries, std::size_t count) {
    fits = fits && add_block(set, key, entries, count, kOldChainEntryBytes, part, nullptr);
  });
  for_each_block(pool, news, kNewPerBlock, [&](const unsigned char* entries, std::size_t count) {
    fits = fits && add_block(set, key, entries, count, kNewChainEntryBytes, part, marks);
  });
  return fits;
}

// Whether `identity` is among the entries of `chain` (of `entry_bytes`
// each), before the `before`th of them.
bool chain_holds(const BlockPool& pool, const BlockChain& chain, std::size_t per_block, std::size_t entry_bytes,
                 const unsigned char* identity, std::uint64_t before) {
  bool found = false;
  std::uint64_t seen = 0;
  for_each_block(pool, chain, per_block, [&](const unsigned char* entries, std::size_t count) {
    for (std::size_t i = 0; i < count && !found && seen < before; ++i, ++seen) {
      found = std::memcmp(entries + i * entry_bytes, identity, kIdentityBytes) == 0;
    }
  });
  return found;
}

// The last resort, for a part whose distinct identities still overflow the
// set when split by every bit set aside for splitting (only identities that
// share those hash bits: not to be met under a key drawn per run): each NEW
// entry compared with all before it.
void join_part_by_comparing(std::uint64_t key, const BlockPool& pool, const BlockChain& olds,
                            const BlockChain& news, Part part, std::uint64_t* marks) {
  std::uint64_t position = 0;
  for_each_block(pool, news, kNewPerBlock, [&](const unsigned char* entries, std::size_t count) {
    for (std::size_t i = 0; i < count; ++i, ++position) {
      const unsigned char* entry = entries + i * kNewChainEntryBytes;
      if (!part.holds(identity_hash(entry, key))) continue;
      if (chain_holds(pool, olds, kOldPerBlock, kOldChainEntryBytes, entry, olds.entries)) continue;
      if (chain_holds(pool, news, kNewPerBlock, kNewChainEntryBytes, entry, position)) continue;
      const std::uint64_t index = load_le(entry + kIdentityBytes, 5);
      marks[index / 64] |= std::uint64_t{1} << (index % 64);
    }
  });
}

}  // namespace

void take_block(BlockPool& pool, BlockChain& chain, std::size_t block_bytes) {
  const std::uint32_t block = static_cast<std::uint32_t>(pool.taken++);
  if (chain.entries == 0) {
    chain.first = block;
  } else {
    pool.next[chain.last] = block;
  }
  chain.last = block;
  chain.at = pool.blocks + std::uint64_t{block} * kChainBlockBytes;
  chain.end = chain.at + block_bytes;
}

void join_chains(IdentitySet& set, std::uint64_t key, const BlockPool& pool, const BlockChain& olds,
                 const BlockChain& news, std::uint64_t* marks) {
  if (news.entries == 0) return;
  for (unsigned bits = 0; bits <= kMostSplitBits; ++bits) {
    bool joined = true;
    for (std::uint64_t sub = 0; sub < (std::uint64_t{1} << bits) && joined; ++sub) {
      joined = join_part(set, key, pool, olds, news, Part{bits, sub}, marks);
    }
    if (joined) return;
  }
  for (std::uint64_t sub = 0; sub < (std::uint64_t{1} << kMostSplitBits); ++sub) {
    const Part part{kMostSplitBits, sub};
    if (!join_part(set, key, pool, olds, news, part, marks)) join_part_by_comparing(key, pool, olds, news, part, marks);
  }
}
