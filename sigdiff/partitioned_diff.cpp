#include "sigdiff/partitioned_diff.h"

#include <algorithm>
#include <cstdlib>
#include <cstring>
#include <new>

#include "common/large_memory.h"
#include "common/little_endian.h"
#include "sigdiff/chained_join.h"
#include "sigdiff/identity_set.h"

namespace {

constexpr std::size_t kOldEntryBytes = kIdentityBytes;
// NEW's entries carry the record's index in NEW, in 5 bytes.
constexpr std::size_t kIndexBytes = 5;
constexpr std::size_t kNewEntryBytes = kIdentityBytes + kIndexBytes;
constexpr std::uint64_t kMostNewRecords = std::uint64_t{1} << (8 * kIndexBytes);
// Records per partition aimed at: a partition's set (16-byte slots, at most
// half full) then takes 256 KiB, which stays in the processor's cache.
constexpr std::uint64_t kRecordsPerPartition = 8192;
// Entries are gathered per partition in a line of 64 bytes and copied to the
// partition's place a line at a time: a scatter to thousands of places then
// touches each place's memory once a line, not once an entry.
constexpr std::size_t kStageBytes = 64;
constexpr std::size_t kOldPerStage = kStageBytes / kOldEntryBytes;  // 6
constexpr std::size_t kNewPerStage = kStageBytes / kNewEntryBytes;  // 4
constexpr unsigned kMostPartitionBits = 20;
// Bytes written to a group's temporary file at a time, at most.
constexpr std::size_t kLargestWriteBuffer = 64 * 1024;
constexpr std::size_t kSmallestWriteBuffer = 4 * 1024;


// The last identity seen at each of a few thousand places: a record whose
// identity is there is a repeat, and a repeat is never new.
constexpr std::size_t kRecentSlots = 1 << 14;
struct RecentSlot {
  unsigned char identity[kIdentityBytes];
  bool used;
};
RecentSlot recent[kRecentSlots];

void forget_recent() { std::memset(recent, 0, sizeof recent); }

bool is_repeat(const unsigned char* identity, std::uint64_t hash) {
  RecentSlot& slot = recent[(hash >> 24) & (kRecentSlots - 1)];
  if (slot.used && std::memcmp(slot.identity, identity, kIdentityBytes) == 0) return true;
  std::memcpy(slot.identity, identity, kIdentityBytes);
  slot.used = true;
  return false;
}

// Reads every whole record of `input` from its start and hands each to
// `take` (its bytes and its index); false, reported, on a failure.
template <typename Take>
bool for_each_record(FailureReport& report, SignatureInput& input, Take take) {
  return rewind_input(report, input) && read_records(report, input, [&](const unsigned char* record,
                                                                         std::uint64_t index) {
           take(record, index);
           return true;
         });
}

std::uint64_t round_up_to_power_of_two(std::uint64_t value) {
  std::uint64_t power = 1;
  while (power < value) power <<= 1;
  return power;
}

struct Partitions {
  unsigned bits = 0;
  std::size_t count = 1;
  std::size_t partition_of(std::uint64_t hash) const {
    return bits == 0 ? 0 : static_cast<std::size_t>(hash >> (64 - bits));
  }
};

void store_new_entry(unsigned char* entry, const unsigned char* identity, std::uint64_t index) {
  std::memcpy(entry, identity, kIdentityBytes);
  store_le(entry + kIdentityBytes, index, kIndexBytes);
}

struct OldEntry {
  unsigned char bytes[kOldEntryBytes];
};
struct NewEntry {
  unsigned char bytes[kNewEntryBytes];
};

// The join of one partition by sorting, for a partition whose identities do
// not fit in the set (never with the keyed hash and the sizes chosen, but
// the result must not depend on it).
void join_by_sorting(OldEntry* olds, std::size_t old_count, NewEntry* news, std::size_t new_count,
                     std::uint64_t* marks) {
  std::sort(olds, olds + old_count, [](const OldEntry& a, const OldEntry& b) {
    return std::memcmp(a.bytes, b.bytes, kIdentityBytes) < 0;
  });
  std::sort(news, news + new_count, [](const NewEntry& a, const NewEntry& b) {
    const int order = std::memcmp(a.bytes, b.bytes, kIdentityBytes);
    if (order != 0) return order < 0;
    return load_le(a.bytes + kIdentityBytes, kIndexBytes) < load_le(b.bytes + kIdentityBytes, kIndexBytes);
  });
  std::size_t o = 0;
  for (std::size_t n = 0; n < new_count; ++n) {
    if (n > 0 && std::memcmp(news[n].bytes, news[n - 1].bytes, kIdentityBytes) == 0) continue;
    while (o < old_count && std::memcmp(olds[o].bytes, news[n].bytes, kIdentityBytes) < 0) ++o;
    if (o < old_count && std::memcmp(olds[o].bytes, news[n].bytes, kIdentityBytes) == 0) continue;
    const std::uint64_t index = load_le(news[n].bytes + kIdentityBytes, kIndexBytes);
    marks[index / 64] |= std::uint64_t{1} << (index % 64);
  }
}

// Joins one partition: OLD's `old_count` entries at `olds`, NEW's at `news`.
void join_partition(IdentitySet& set, std::uint64_t key, unsigned char* olds, std::size_t old_count,
                    unsigned char* news, std::size_t new_count, std::uint64_t* marks) {
  if (new_count == 0) return;
  std::uint64_t capacity = round_up_to_power_of_two(2 * (old_count + new_count));
  if (capacity < 16) capacity = 16;
  if (capacity > set.most_slots()) capacity = set.most_slots();
  set.start(static_cast<std::size_t>(capacity));
  bool full = false;
  for (std::size_t i = 0; i < old_count && !full; ++i) {
    const unsigned char* identity = olds + i * kOldEntryBytes;
    full = set.add(identity, identity_hash(identity, key)) == IdentitySet::Added::kFull;
  }
  for (std::size_t i = 0; i < new_count && !full; ++i) {
    const unsigned char* entry = news + i * kNewEntryBytes;
    const IdentitySet::Added added = set.add(entry, identity_hash(entry, key));
    if (added == IdentitySet::Added::kNew) {
      const std::uint64_t index = load_le(entry + kIdentityBytes, kIndexBytes);
      marks[index / 64] |= std::uint64_t{1} << (index % 64);
    }
    full = added == IdentitySet::Added::kFull;
  }
  if (full) {
    join_by_sorting(reinterpret_cast<OldEntry*>(olds), old_count, reinterpret_cast<NewEntry*>(news), new_count,
                    marks);
  }
}

// The per-partition counts, and from them the groups of partitions that are
// joined together, each within the memory left for entries.
struct Plan {
  Partitions partitions;
  std::uint64_t* old_counts = nullptr;  // per partition
  std::uint64_t* new_counts = nullptr;
  std::uint32_t* group_of = nullptr;    // per partition
  std::size_t groups = 1;
  std::uint64_t largest_group_bytes = 0;
  std::uint64_t largest_partition = 0;  // entries, OLD and NEW
  // Whether repeats are dropped as they are read: only when the entries
  // might not fit in memory, where a run of one identity would crowd its
  // partition's group (in memory, the set takes repeats in its stride).
  bool drop_repeats = false;
};

// Step 1: hashes every record and counts the entries of each partition.
bool count_entries(FailureReport& report, std::uint64_t key, SignatureInput* olds, std::size_t old_count,
                   SignatureInput& fresh, Plan& plan) {
  forget_recent();
  for (std::size_t f = 0; f < old_count; ++f) {
    if (!for_each_record(report, olds[f], [&](const unsigned char* record, std::uint64_t) {
          const std::uint64_t hash = identity_hash(record, key);
          if (!plan.drop_repeats || !is_repeat(record, hash)) ++plan.old_counts[plan.partitions.partition_of(hash)];
        })) {
      return false;
    }
  }
  return for_each_record(report, fresh, [&](const unsigned char* record, std::uint64_t) {
    const std::uint64_t hash = identity_hash(record, key);
    if (!plan.drop_repeats || !is_repeat(record, hash)) ++plan.new_counts[plan.partitions.partition_of(hash)];
  });
}

// Puts partitions in groups, in order, each group's entries within
// `entry_budget` bytes where a partition alone does not exceed it.
void group_partitions(Plan& plan, std::uint64_t entry_budget) {
  plan.groups = 0;
  plan.largest_group_bytes = 0;
  std::uint64_t group_bytes = 0;
  for (std::size_t p = 0; p < plan.partitions.count; ++p) {
    const std::uint64_t bytes = plan.old_counts[p] * kOldEntryBytes + plan.new_counts[p] * kNewEntryBytes;
    if (plan.groups == 0 || (group_bytes > 0 && group_bytes + bytes > entry_budget)) {
      ++plan.groups;
      group_bytes = 0;
    }
    group_bytes += bytes;
    plan.group_of[p] = static_cast<std::uint32_t>(plan.groups - 1);
    if (group_bytes > plan.largest_group_bytes) plan.largest_group_bytes = group_bytes;
    const std::uint64_t entries = plan.old_counts[p] + plan.new_counts[p];
    if (entries > plan.largest_partition) plan.largest_partition = entries;
  }
}

// Where each partition of group `group` starts in the group's region: OLD's
// entries of all its partitions first, then NEW's. `at` receives, per
// partition, the OLD start then the NEW start (byte offsets).
void lay_out_group(const Plan& plan, std::size_t group, std::uint64_t* old_at, std::uint64_t* new_at,
                   std::uint64_t* old_bytes) {
  std::uint64_t offset = 0;
  for (std::size_t p = 0; p < plan.partitions.count; ++p) {
    if (plan.group_of[p] != group) continue;
    old_at[p] = offset;
    offset += plan.old_counts[p] * kOldEntryBytes;
  }
  *old_bytes = offset;
  for (std::size_t p = 0; p < plan.partitions.count; ++p) {
    if (plan.group_of[p] != group) continue;
    new_at[p] = offset;
    offset += plan.new_counts[p] * kNewEntryBytes;
  }
}

void join_group(const Plan& plan, std::size_t group, IdentitySet& set, std::uint64_t key, unsigned char* region,
                const std::uint64_t* old_at, const std::uint64_t* new_at, std::uint64_t* marks) {
  for (std::size_t p = 0; p < plan.partitions.count; ++p) {
    if (plan.group_of[p] != group) continue;
    join_partition(set, key, region + old_at[p], static_cast<std::size_t>(plan.old_counts[p]),
                   region + new_at[p], static_cast<std::size_t>(plan.new_counts[p]), marks);
  }
}

// The temporary file of each group, and a buffer of what is to be written
// to it.
struct GroupFile {
  FileHandle file;
  unsigned char* buffer;
  std::size_t size;
};

// The comparison in memory, where it fits: every entry goes to its
// partition's chain as the files are read, in one pass over each, and the
// partitions are then joined one by one. Partitions of about 65536 records
// (sets of up to 2 MiB): the scatter to a thousand chains runs at nearly the
// speed of a plain copy, where to eight thousand it takes twice as long, and
// the lookups ahead of time hide the set's misses of the nearer caches.
constexpr std::uint64_t kRecordsPerChainedPartition = 65536;

struct InMemoryPlan {
  Partitions partitions;
  std::uint64_t blocks = 0;
  std::uint64_t set_slots = 0;
  std::uint64_t set_bytes = 0;
  std::uint64_t chain_bytes = 0;
  std::uint64_t next_bytes = 0;  // the pool's links, rounded up to whole blocks
  std::uint64_t large_bytes = 0;  // the above and the pool, in one block
  std::uint64_t run_bytes = 0;    // where each partition's run of marks starts and ends
  std::uint64_t total = 0;
};

InMemoryPlan plan_in_memory(std::uint64_t old_records, std::uint64_t new_records) {
  InMemoryPlan plan;
  const std::uint64_t all_records = old_records + new_records;
  while (plan.partitions.bits < kMostPartitionBits &&
         (std::uint64_t{1} << plan.partitions.bits) * kRecordsPerChainedPartition < all_records) {
    ++plan.partitions.bits;
  }
  plan.partitions.count = std::size_t{1} << plan.partitions.bits;
  const std::uint64_t partitions = plan.partitions.count;
  plan.blocks = pool_blocks(all_records, 2 * partitions);
  // Under the keyed hash a partition's distinct identities stay near the
  // mean, whatever repeats crowd it: four times the mean is room enough.
  const std::uint64_t mean = (all_records + partitions - 1) / partitions;
  plan.set_slots = round_up_to_power_of_two(4 * mean);
  const std::uint64_t most_slots = round_up_to_power_of_two(2 * all_records);
  if (plan.set_slots > most_slots) plan.set_slots = most_slots;
  if (plan.set_slots < 16) plan.set_slots = 16;
  plan.set_bytes = plan.set_slots * sizeof(IdentitySet::Slot);
  plan.chain_bytes = 2 * partitions * sizeof(BlockChain);
  plan.next_bytes = (plan.blocks * sizeof(std::uint32_t) + kChainBlockBytes - 1) / kChainBlockBytes * kChainBlockBytes;
  plan.large_bytes = plan.set_bytes + plan.chain_bytes + plan.next_bytes + plan.blocks * kChainBlockBytes;
  plan.run_bytes = 2 * partitions * sizeof(std::uint64_t);
  plan.total = plan.large_bytes + plan.run_bytes;
  return plan;
}

bool mark_in_memory(FailureReport& report, const DiffSettings& settings, const InMemoryPlan& plan,
                    SignatureInput* olds, std::size_t old_count, SignatureInput& fresh, NewMarks& marks) {
  const std::size_t partitions = plan.partitions.count;
  marks.run_next = static_cast<std::uint64_t*>(std::calloc(2 * partitions, sizeof(std::uint64_t)));
  const std::size_t memory_bytes = static_cast<std::size_t>(plan.large_bytes);
  unsigned char* memory =
      marks.run_next == nullptr ? nullptr : static_cast<unsigned char*>(allocate_large(memory_bytes));
  if (memory == nullptr) {
    report.cannot_allocate(plan.total, "the comparison's partitions");
    return false;
  }
  marks.run_end = marks.run_next + partitions;
  marks.partition_bits = plan.partitions.bits;
  marks.key = settings.key;
  IdentitySet set;
  set.attach(reinterpret_cast<IdentitySet::Slot*>(memory), static_cast<std::size_t>(plan.set_slots));
  BlockChain* chains = reinterpret_cast<BlockChain*>(memory + plan.set_bytes);
  for (std::size_t c = 0; c < 2 * partitions; ++c) new (&chains[c]) BlockChain();
  BlockChain* new_chains = chains + partitions;
  BlockPool pool;
  pool.next = reinterpret_cast<std::uint32_t*>(memory + plan.set_bytes + plan.chain_bytes);
  pool.blocks = memory + plan.set_bytes + plan.chain_bytes + plan.next_bytes;
  pool.taken = 0;
  pool.count = plan.blocks;
  bool done = true;
  for (std::size_t f = 0; f < old_count && done; ++f) {
    done = for_each_record(report, olds[f], [&](const unsigned char* record, std::uint64_t) {
      const std::uint64_t hash = identity_hash(record, settings.key);
      append_entry(pool, chains[plan.partitions.partition_of(hash)], hash, record);
    });
  }
  done = done && for_each_record(report, fresh, [&](const unsigned char* record, std::uint64_t) {
           const std::uint64_t hash = identity_hash(record, settings.key);
           append_entry(pool, new_chains[plan.partitions.partition_of(hash)], hash, record);
         });
  // Each partition's marks take the next run of bits.
  std::uint64_t first_bit = 0;
  for (std::size_t p = 0; p < partitions && done; ++p) {
    join_chains(set, pool, chains[p], new_chains[p], marks.bits, first_bit);
    // The partition's NEW entries are still in the cache.
    if (marks.counts_only) count_chain(pool, new_chains[p], marks.bits, first_bit, marks.counts);
    marks.run_next[p] = first_bit;
    first_bit += new_chains[p].entries;
    marks.run_end[p] = first_bit;
  }
  marks.counted = done && marks.counts_only;
  free_large(memory, memory_bytes);
  return done;
}

// Every file back at its start, for the caller's last pass.
bool rewind_all(SignatureInput* olds, std::size_t old_count, SignatureInput& fresh) {
  for (std::size_t f = 0; f < old_count; ++f) olds[f].file->rewind();
  return fresh.file->rewind();
}

}  // namespace

void NewMarks::find_run(const unsigned char* records, std::size_t count, std::uint64_t first,
                        unsigned char* verdicts) {
  const auto bit_is_set = [this](std::uint64_t bit) {
    return static_cast<unsigned char>((bits[bit / 64] >> (bit % 64)) & 1);
  };
  if (run_next == nullptr) {
    for (std::size_t i = 0; i < count; ++i) verdicts[i] = bit_is_set(first + i);
    return;
  }
  Partitions partitions;
  partitions.bits = partition_bits;
  // In a loop of its own, the lookups of a thousand runs overlap.
  for (std::size_t i = 0; i < count; ++i) {
    const std::size_t partition = partitions.partition_of(identity_hash(records + i * SignatureRecord::kBytes, key));
    if (run_next[partition] == run_end[partition]) {
      verdicts[i] = 1;
    } else {
      verdicts[i] = bit_is_set(run_next[partition]++);
    }
  }
}

bool mark_new_records(FailureReport& report, const DiffSettings& settings, SignatureInput* olds,
                      std::size_t old_count, SignatureInput& fresh, NewMarks& new_marks) {
  if (fresh.records >= kMostNewRecords) {
    report.too_large(fresh.role, fresh.path, "the 2^40 records sigdiff compares");
    return false;
  }
  std::uint64_t old_records = 0;
  for (std::size_t f = 0; f < old_count; ++f) old_records += olds[f].records;
  const std::uint64_t all_records = old_records + fresh.records;
  const InMemoryPlan in_memory = plan_in_memory(old_records, fresh.records);
  if (in_memory.total <= settings.budget && in_memory.blocks < (std::uint64_t{1} << 32) &&
      in_memory.total == static_cast<std::size_t>(in_memory.total)) {
    if (!mark_in_memory(report, settings, in_memory, olds, old_count, fresh, new_marks)) return false;
    return rewind_all(olds, old_count, fresh);
  }
  std::uint64_t* const marks = new_marks.bits;
  Plan plan;
  while (plan.partitions.bits < kMostPartitionBits &&
         (std::uint64_t{1} << plan.partitions.bits) * kRecordsPerPartition < all_records) {
    ++plan.partitions.bits;
  }
  plan.partitions.count = std::size_t{1} << plan.partitions.bits;
  const std::size_t partitions = plan.partitions.count;
  // The bookkeeping: counts, groups, two offsets and two stages per
  // partition.
  const std::uint64_t bookkeeping =
      partitions * (4 * sizeof(std::uint64_t) + sizeof(std::uint32_t) + 2 * kStageBytes + 2);
  if (bookkeeping >= settings.budget) {
    report.cannot_allocate(bookkeeping, "the partitions of the comparison (CHUNKTOOLS_MEMORY is too small)");
    return false;
  }
  unsigned char* books = static_cast<unsigned char*>(std::calloc(1, static_cast<std::size_t>(bookkeeping)));
  if (books == nullptr) {
    report.cannot_allocate(bookkeeping, "the partitions of the comparison");
    return false;
  }
  plan.old_counts = reinterpret_cast<std::uint64_t*>(books);
  plan.new_counts = plan.old_counts + partitions;
  std::uint64_t* old_at = plan.new_counts + partitions;
  std::uint64_t* new_at = old_at + partitions;
  plan.group_of = reinterpret_cast<std::uint32_t*>(new_at + partitions);
  unsigned char* old_stages = reinterpret_cast<unsigned char*>(plan.group_of + partitions);
  unsigned char* new_stages = old_stages + partitions * kStageBytes;
  unsigned char* stage_fill = new_stages + partitions * kStageBytes;

  plan.drop_repeats = bookkeeping + all_records * kNewEntryBytes * 5 / 4 > settings.budget;
  bool done = count_entries(report, settings.key, olds, old_count, fresh, plan);
  unsigned char* memory = nullptr;
  std::size_t memory_bytes = 0;
  GroupFile* group_files = nullptr;
  if (done) {
    // What is left for the entries, the set and the groups' write buffers.
    const std::uint64_t left = settings.budget - bookkeeping;
    group_partitions(plan, ~std::uint64_t{0});
    // The set holds one partition's distinct identities. Under the keyed hash
    // a partition's distinct identities stay near the mean, whatever repeats
    // crowd it, so four times the mean is room enough; a partition that
    // should still fill it is joined by sorting.
    const std::uint64_t mean_partition = (all_records + partitions - 1) / partitions;
    std::uint64_t set_slots = round_up_to_power_of_two(4 * mean_partition);
    if (set_slots > round_up_to_power_of_two(2 * plan.largest_partition)) {
      set_slots = round_up_to_power_of_two(2 * plan.largest_partition);
    }
    if (set_slots < 16) set_slots = 16;
    std::uint64_t set_bytes = set_slots * sizeof(IdentitySet::Slot);
    if (set_bytes > left / 8) {
      // A partition so large (a budget so small) that its set would crowd
      // out its entries: the set is cut, and such a partition is sorted.
      set_slots = round_up_to_power_of_two(left / 8 / sizeof(IdentitySet::Slot) + 1) / 2;
      if (set_slots < 16) set_slots = 16;
      set_bytes = set_slots * sizeof(IdentitySet::Slot);
    }
    std::uint64_t buffer_bytes = 0;
    std::size_t write_buffer = 0;
    if (plan.largest_group_bytes + set_bytes > left) {
      // Groups, each joined on its own; a quarter of what is left holds the
      // groups' write buffers.
      group_partitions(plan, (left - set_bytes) / 4 * 3);
      write_buffer = static_cast<std::size_t>((left - set_bytes) / 4 / plan.groups);
      if (write_buffer > kLargestWriteBuffer) write_buffer = kLargestWriteBuffer;
      if (write_buffer < kSmallestWriteBuffer || plan.largest_group_bytes + set_bytes > left) {
        report.cannot_allocate(plan.largest_group_bytes + set_bytes + plan.groups * kSmallestWriteBuffer,
                               "one group of the comparison (CHUNKTOOLS_MEMORY is too small)");
        done = false;
      }
      buffer_bytes = std::uint64_t{write_buffer} * plan.groups;
    }
    const std::uint64_t total = plan.largest_group_bytes + set_bytes + buffer_bytes;
    memory_bytes = static_cast<std::size_t>(total);
    if (done) memory = static_cast<unsigned char*>(allocate_large(memory_bytes));
    if (done && memory == nullptr) {
      report.cannot_allocate(total, "the comparison's partitions");
      done = false;
    }
    IdentitySet set;
    if (done) set.attach(reinterpret_cast<IdentitySet::Slot*>(memory), static_cast<std::size_t>(set_slots));
    unsigned char* region = memory + set_bytes;
    if (done && plan.groups == 1) {
      // Step 2 in memory: every entry to its place, through the stages.
      std::uint64_t old_bytes;
      lay_out_group(plan, 0, old_at, new_at, &old_bytes);
      std::memset(stage_fill, 0, 2 * partitions);
      forget_recent();
      unsigned char* old_fill = stage_fill;
      unsigned char* new_fill = stage_fill + partitions;
      for (std::size_t f = 0; f < old_count && done; ++f) {
        done = for_each_record(report, olds[f], [&](const unsigned char* record, std::uint64_t) {
          const std::uint64_t hash = identity_hash(record, settings.key);
          if (plan.drop_repeats && is_repeat(record, hash)) return;
          const std::size_t p = plan.partitions.partition_of(hash);
          unsigned char* stage = old_stages + p * kStageBytes;
          std::memcpy(stage + old_fill[p] * kOldEntryBytes, record, kOldEntryBytes);
          if (++old_fill[p] == kOldPerStage) {
            std::memcpy(region + old_at[p], stage, kOldPerStage * kOldEntryBytes);
            old_at[p] += kOldPerStage * kOldEntryBytes;
            old_fill[p] = 0;
          }
        });
      }
      done = done && for_each_record(report, fresh, [&](const unsigned char* record, std::uint64_t index) {
               const std::uint64_t hash = identity_hash(record, settings.key);
               if (plan.drop_repeats && is_repeat(record, hash)) return;
               const std::size_t p = plan.partitions.partition_of(hash);
               unsigned char* stage = new_stages + p * kStageBytes;
               store_new_entry(stage + new_fill[p] * kNewEntryBytes, record, index);
               if (++new_fill[p] == kNewPerStage) {
                 std::memcpy(region + new_at[p], stage, kNewPerStage * kNewEntryBytes);
                 new_at[p] += kNewPerStage * kNewEntryBytes;
                 new_fill[p] = 0;
               }
             });
      for (std::size_t p = 0; p < partitions && done; ++p) {
        std::memcpy(region + old_at[p], old_stages + p * kStageBytes, old_fill[p] * kOldEntryBytes);
        std::memcpy(region + new_at[p], new_stages + p * kStageBytes, new_fill[p] * kNewEntryBytes);
      }
      if (done) {
        lay_out_group(plan, 0, old_at, new_at, &old_bytes);
        join_group(plan, 0, set, settings.key, region, old_at, new_at, marks);
      }
    } else if (done) {
      // Step 2 through temporary files, a group at a time.
      group_files = static_cast<GroupFile*>(std::calloc(plan.groups, sizeof(GroupFile)));
      if (group_files == nullptr) {
        report.cannot_allocate(plan.groups * sizeof(GroupFile), "the comparison's temporary files");
        done = false;
      }
      unsigned char* buffers = region + plan.largest_group_bytes;
      for (std::size_t g = 0; g < plan.groups && done; ++g) new (&group_files[g].file) FileHandle();
      for (std::size_t g = 0; g < plan.groups && done; ++g) {
        group_files[g].file = FileHandle::create_temporary(settings.temp_folder);
        group_files[g].buffer = buffers + g * write_buffer;
        if (!group_files[g].file.is_open()) {
          report.file_failed(Operation::kCreate, "temporary file in", settings.temp_folder,
                             group_files[g].file.error());
          done = false;
        }
      }
      const auto flush = [&](GroupFile& group) {
        if (group.file.write_all(group.buffer, group.size) != group.size) {
          report.file_failed(Operation::kWrite, "temporary file in", settings.temp_folder, group.file.error());
          return false;
        }
        group.size = 0;
        return true;
      };
      const auto append = [&](std::size_t group, const unsigned char* entry, std::size_t size) {
        GroupFile& file = group_files[group];
        if (file.size + size > write_buffer && !flush(file)) return false;
        std::memcpy(file.buffer + file.size, entry, size);
        file.size += size;
        return true;
      };
      forget_recent();
      bool written = true;
      for (std::size_t f = 0; f < old_count && done; ++f) {
        done = for_each_record(report, olds[f], [&](const unsigned char* record, std::uint64_t) {
          const std::uint64_t hash = identity_hash(record, settings.key);
          if (written && (!plan.drop_repeats || !is_repeat(record, hash))) {
            written = append(plan.group_of[plan.partitions.partition_of(hash)], record, kOldEntryBytes);
          }
        });
      }
      done = done && written;
      done = done && for_each_record(report, fresh, [&](const unsigned char* record, std::uint64_t index) {
               const std::uint64_t hash = identity_hash(record, settings.key);
               if (written && (!plan.drop_repeats || !is_repeat(record, hash))) {
                 unsigned char entry[kNewEntryBytes];
                 store_new_entry(entry, record, index);
                 written = append(plan.group_of[plan.partitions.partition_of(hash)], entry, kNewEntryBytes);
               }
             });
      done = done && written;
      for (std::size_t g = 0; g < plan.groups && done; ++g) done = flush(group_files[g]);
      // Each group back: its OLD entries, then its NEW ones, to their places.
      for (std::size_t g = 0; g < plan.groups && done; ++g) {
        std::uint64_t old_bytes;
        lay_out_group(plan, g, old_at, new_at, &old_bytes);
        FileHandle& entries = group_files[g].file;
        unsigned char* const buffer = signature_read_buffer;
        std::uint64_t read = 0;
        bool failed = !entries.rewind();
        // Read in blocks of whole entries of the part at hand, to its end: a
        // read error, or an end short of an entry, fails the run.
        while (!failed) {
          const bool in_old = read < old_bytes;
          const std::size_t entry_size = in_old ? kOldEntryBytes : kNewEntryBytes;
          const std::size_t wanted = sizeof signature_read_buffer / entry_size * entry_size;
          std::size_t have = 0;
          const std::uint64_t part_left = in_old ? old_bytes - read : ~std::uint64_t{0};
          const std::size_t limit = part_left < wanted ? static_cast<std::size_t>(part_left) : wanted;
          while (have < limit && !failed) {
            const std::ptrdiff_t got = entries.read_some(buffer + have, limit - have);
            if (got == 0) break;
            failed = got < 0;
            if (got > 0) have += static_cast<std::size_t>(got);
          }
          if (have % entry_size != 0 || (in_old && have == 0)) failed = true;
          if (have == 0 || failed) break;
          for (std::size_t at = 0; at < have; at += entry_size) {
            const unsigned char* entry = buffer + at;
            std::uint64_t& to = (in_old ? old_at : new_at)[plan.partitions.partition_of(
                identity_hash(entry, settings.key))];
            std::memcpy(region + to, entry, entry_size);
            to += entry_size;
          }
          read += have;
        }
        if (failed) {
          report.file_failed(Operation::kRead, "temporary file in", settings.temp_folder, entries.error());
          done = false;
          break;
        }
        group_files[g].file.close();
        lay_out_group(plan, g, old_at, new_at, &old_bytes);
        join_group(plan, g, set, settings.key, region, old_at, new_at, marks);
      }
    }
  }
  if (group_files != nullptr) {
    // Constructed all or none (the allocation is checked before).
    for (std::size_t g = 0; g < plan.groups; ++g) group_files[g].file.~FileHandle();
    std::free(group_files);
  }
  free_large(memory, memory_bytes);
  std::free(books);
  return done && rewind_all(olds, old_count, fresh);
}
