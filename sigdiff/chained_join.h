// The in-memory form of sigdiff's partitioned join. Each partition's entries
// go, as the files are read, to a chain of blocks taken from one pool: no
// pass that counts the partitions' entries is needed before they are placed,
// and the pool wastes at most one part-filled block per chain.
//
// OLD's entries are identities (10 bytes); NEW's add the record's index in
// NEW, stored 8 bytes wide (the next entry, or the block's spare bytes, takes
// the 3 bytes past the entry's 15).
#ifndef SIGDIFF_CHAINED_JOIN_H
#define SIGDIFF_CHAINED_JOIN_H

#include <cstddef>
#include <cstdint>
#include <cstring>

#include "common/little_endian.h"
#include "sigdiff/identity_set.h"

constexpr std::size_t kChainBlockBytes = 4096;
constexpr std::size_t kOldChainEntryBytes = kIdentityBytes;
constexpr std::size_t kNewChainEntryBytes = kIdentityBytes + 5;
constexpr std::size_t kOldPerBlock = kChainBlockBytes / kOldChainEntryBytes;                 // 409
constexpr std::size_t kNewPerBlock = (kChainBlockBytes - 3) / kNewChainEntryBytes;           // 272

// Blocks of kChainBlockBytes, handed out in order, and the next block of
// each block's chain.
struct BlockPool {
  unsigned char* blocks;
  std::uint32_t* next;
  std::uint64_t taken;
  std::uint64_t count;
};

// One side of one partition: its blocks, and where the next entry goes.
struct BlockChain {
  unsigned char* at = nullptr;
  unsigned char* end = nullptr;
  std::uint32_t first = 0;
  std::uint32_t last = 0;
  std::uint64_t entries = 0;
};

// Blocks a pool needs for `old_entries` and `new_entries` in `chains`
// chains per side.
inline std::uint64_t pool_blocks(std::uint64_t old_entries, std::uint64_t new_entries, std::uint64_t chains) {
  return (old_entries + kOldPerBlock - 1) / kOldPerBlock + (new_entries + kNewPerBlock - 1) / kNewPerBlock +
         2 * chains;
}

// Gives `chain` the pool's next block, for `block_bytes` of entries.
void take_block(BlockPool& pool, BlockChain& chain, std::size_t block_bytes);

inline void append_old_entry(BlockPool& pool, BlockChain& chain, const unsigned char* identity) {
  if (chain.at == chain.end) take_block(pool, chain, kOldPerBlock * kOldChainEntryBytes);
  std::memcpy(chain.at, identity, kIdentityBytes);
  chain.at += kOldChainEntryBytes;
  ++chain.entries;
}

inline void append_new_entry(BlockPool& pool, BlockChain& chain, const unsigned char* identity,
                             std::uint64_t index) {
  if (chain.at == chain.end) take_block(pool, chain, kNewPerBlock * kNewChainEntryBytes);
  std::memcpy(chain.at, identity, kIdentityBytes);
  store_le(chain.at + kIdentityBytes, index, 8);
  chain.at += kNewChainEntryBytes;
  ++chain.entries;
}

// Joins one partition: NEW's entries in `news`, in NEW's order, against
// OLD's in `olds`; sets the mark of each NEW entry whose identity is neither
// in OLD nor earlier in NEW. `set` holds the partition's distinct identities
// where it can; where it cannot, the partition is joined in parts, by bits
// of the hash, each part in its own pass.
void join_chains(IdentitySet& set, std::uint64_t key, const BlockPool& pool, const BlockChain& olds,
                 const BlockChain& news, std::uint64_t* marks);

#endif  // SIGDIFF_CHAINED_JOIN_H
