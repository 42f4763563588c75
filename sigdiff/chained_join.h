// The in-memory form of sigdiff's partitioned join. Each partition's entries
// go, as the files are read, to a chain of blocks taken from one pool: no
// pass that counts the partitions' entries is needed before they are placed,
// and the pool wastes at most one part-filled block per chain. NEW's chain
// keeps NEW's order, so an entry needs no record index: its verdict is the
// next bit of its partition's run of bits.
//
// An entry is the identity's keyed hash (8 bytes) and its length (2): for a
// given length the hash is a one-to-one function of the two CRCs, so two
// entries are equal exactly when their identities are, and the join reads
// each entry's hash instead of computing it again.
#ifndef SIGDIFF_CHAINED_JOIN_H
#define SIGDIFF_CHAINED_JOIN_H

#include <cstddef>
#include <cstdint>
#include <cstring>

#include "sigdiff/identity_set.h"

constexpr std::size_t kChainBlockBytes = 4096;
constexpr std::size_t kEntriesPerBlock = kChainBlockBytes / kIdentityBytes;  // 409

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

// Blocks a pool needs for `entries` in `chains` chains.
inline std::uint64_t pool_blocks(std::uint64_t entries, std::uint64_t chains) {
  return (entries + kEntriesPerBlock - 1) / kEntriesPerBlock + chains;
}

// Gives `chain` the pool's next block.
void take_block(BlockPool& pool, BlockChain& chain);

// Appends the entry of `identity`, whose hash is `hash`.
inline void append_entry(BlockPool& pool, BlockChain& chain, std::uint64_t hash, const unsigned char* identity) {
  if (chain.at == chain.end) take_block(pool, chain);
  std::memcpy(chain.at, &hash, sizeof hash);
  std::memcpy(chain.at + sizeof hash, identity + sizeof hash, kIdentityBytes - sizeof hash);
  chain.at += kIdentityBytes;
  ++chain.entries;
}

// NEW's chunks and their bytes, all of them and the new ones: what sigdiff's
// summary counts.
struct ChunkCounts {
  std::uint64_t chunks = 0;
  std::uint64_t bytes = 0;
  std::uint64_t new_chunks = 0;
  std::uint64_t new_bytes = 0;
};

// Counts NEW's entries in `news` into `counts`, as new where their bits are
// set (bit `first_bit` + i of `verdicts` for the i-th), by the lengths the
// entries hold.
void count_chain(const BlockPool& pool, const BlockChain& news, const std::uint64_t* verdicts, std::uint64_t first_bit,
                 ChunkCounts& counts);

// Joins one partition: NEW's entries in `news`, in NEW's order, against
// OLD's in `olds`; sets bit `first_bit` + i of `verdicts` when the i-th NEW
// entry's identity is neither in OLD nor earlier in NEW. `set` holds the
// partition's distinct identities where it can; where it cannot, the
// partition is joined in parts, by bits of the hash, each in its own pass.
void join_chains(IdentitySet& set, const BlockPool& pool, const BlockChain& olds, const BlockChain& news,
                 std::uint64_t* verdicts, std::uint64_t first_bit);

#endif  // SIGDIFF_CHAINED_JOIN_H
