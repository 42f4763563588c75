// chunksig -j: the stream chunked by worker threads, the records handed out
// in order, byte for byte those one thread writes.
//
// The stream goes in blocks. For each, a worker reads it, never past the
// limit (a pipe gives up no byte the segments do not need): a regular file
// with positioned reads, side by side, anything else one block at a time in
// stream order. It chunks the block with the one-thread chunker
// as if a chunk started at the block's start, while the bytes are in its
// cache. A cut depends only on the 12 bytes before it and on the length of
// the chunk it ends, so no block waits for another. The thread that owns the
// chunking takes the blocks in order. Where a chunk is open at a block's
// start, it chunks the block again from that chunk, until a cut of its own
// falls on one of the block's: from a cut both share, the two are one walk
// (they share every segment end; on random bytes they meet within a chunk or
// two). It hands out the records it made, then the block's from there on.
//
// After the data file's end the blocks are 0xFF padding, as one thread
// brings it. A read that fails ends the blocks there.
//
// The thread that takes the blocks works on the blocks after the one it
// waits for, so it is a worker too. Memory: kSlotsPerWorker blocks of about
// 1.3 MiB per worker thread and two more, and 0.2 MiB to chunk a block
// again, allocated once at start.
#ifndef CHUNKSIG_PARALLEL_CHUNKING_H
#define CHUNKSIG_PARALLEL_CHUNKING_H

#include <cstddef>
#include <cstdint>

#include "chunking/crc32.h"
#include "chunking/fast_chunker.h"
#include "chunking/kernels/tier_table.h"
#include "common/file_handle.h"
#include "common/worker_thread.h"
#include "records/records.h"

class ParallelChunking {
 public:
  static constexpr std::size_t kBlock = 1024 * 1024;
  static constexpr unsigned kMostWorkers = 256;
  static constexpr unsigned kSlotsPerWorker = 2;
  // The most segment ends add_segment_ends() takes at once.
  static constexpr std::size_t kMostSegmentEnds = 4096;

  // How the data file is read: in order, one block at a time (a pipe, or
  // any file), or with positioned reads side by side (a regular file).
  enum class Reads { kInOrder, kPositioned };

  // Reads `file` in blocks of `block` bytes (64 to kBlock; smaller blocks
  // are for the tests, which want many of them).
  ParallelChunking(FileHandle& file, Reads reads, std::size_t block = kBlock)
      : file_(file), reads_(reads), block_(block < 64 ? 64 : (block > kBlock ? kBlock : block)) {}

  // Allocates the blocks and starts up to `workers` (1 to kMostWorkers)
  // threads running the kernels of `tier`. Returns how many started: 0 when
  // the memory could not be had or no thread would start (then nothing
  // needs finishing).
  unsigned start(unsigned workers, CpuTier tier);
  // Stops the workers, once the read each may be in has returned, and gives
  // the memory back.
  void finish();

  // The ends of the segments just read that bring new bytes, as stream
  // offsets from the stream's start, ascending and past those given before;
  // the last is how far the workers may now read. Called only once every
  // chunk up to the ends of the call before last has been taken: a caller
  // that gives the next ends while it takes the chunks up to the last ones
  // keeps the workers busy between the two.
  void add_segment_ends(const std::uint64_t* ends, std::size_t count);

  enum class Next { kChunk, kReadFailed, kPastFileEnd };
  // The record of the next chunk. kReadFailed: a read of the data file
  // failed before its end. kPastFileEnd: it reaches past the data file's
  // end and `stop_at_file_end` asks not to go there.
  Next next_chunk(bool stop_at_file_end, SignatureRecord* record);
  // After kReadFailed: the platform's code for the failure.
  SystemError read_error() const { return read_error_; }

  // Whether the data file has been found to end before the stream offset
  // taken_to(), and where.
  bool file_ended() const { return file_ended_seen_; }
  std::uint64_t file_end() const { return file_end_seen_; }
  // The stream offset up to which blocks have been taken.
  std::uint64_t taken_to() const { return taken_to_; }

 private:
  enum class SlotState { kFree, kBusy, kReady };
  static constexpr std::size_t kNoSegmentEnd = ~std::size_t{0};
  static constexpr std::uint64_t kNoFileEnd = ~std::uint64_t{0};
  struct Slot {
    unsigned char* bytes;      // kHistory, then the block, then kSlack
    FastChunker* chunker;      // chunks the block
    SignatureRecord* records;  // of the chunks that end in it, from a chunk starting at its start
    std::uint64_t start;       // the block's stream offset
    std::size_t size;          // its bytes
    std::size_t chunks;        // records
    CrcPair tail_signatures;   // of the bytes after the last cut
    std::uint32_t tail_length;
    std::uint64_t ends_from, ends_to;  // the segment ends (by number) that may lie in it
    std::size_t first_segment_end;     // from the block's start; kNoSegmentEnd if none ends in it
    std::uint64_t file_end;            // where the data file ends in it (0xFF from there), or kNoFileEnd
    bool failed;                       // the read failed: no bytes
    bool fails_after;                  // the read failed after its bytes: the blocks after it fail
    SystemError read_error;            // the failure's code, for either
    SlotState state;
  };

  static void work(void* chunking);
  void run_worker();
  bool can_read() const;
  bool process_block(ThreadMonitor::Hold& hold);
  // What a block's read brought: its bytes (-1 when it failed before any),
  // whether it failed after them, and where the file ended, if it did.
  struct BlockRead {
    std::ptrdiff_t bytes;
    bool failed_after_bytes;
    std::uint64_t file_end;
    SystemError error;  // of a read that failed
  };
  BlockRead read_in_order(std::uint64_t sequence, std::size_t wanted, std::uint64_t file_end, bool failure_next);
  BlockRead read_positioned(Slot& block, std::size_t wanted);
  static void pad_from(Slot& block, std::uint64_t file_end, std::size_t size);
  void settle_past_file_end(Slot& block) const;
  void chunk_block(Slot& block) const;
  Slot& slot(std::uint64_t sequence) { return slots_[sequence % slot_count_]; }
  bool take_block();
  void chunk_again(const Slot& block);
  bool next_record(SignatureRecord* record);

  FileHandle& file_;
  const Reads reads_;
  const std::size_t block_;
  CpuTier tier_ = CpuTier{};
  void* memory_ = nullptr;
  std::size_t memory_bytes_ = 0;
  Slot slots_[kMostWorkers * kSlotsPerWorker + 2];
  std::size_t slot_count_ = 0;
  WorkerThread workers_[kMostWorkers];
  unsigned worker_count_ = 0;

  // Shared with the workers, under monitor_'s lock; every change wakes the
  // waiting threads.
  ThreadMonitor monitor_;
  std::uint64_t limit_ = 0;      // stream bytes the workers may read up to
  std::uint64_t read_to_ = 0;    // stream bytes read (or padded) so far
  std::uint64_t next_read_ = 0;  // the next block to read, by sequence number
  bool reading_ = false;         // a read in order is in progress: one at a time
  bool file_ended_ = false;      // a read found the end: padding from file_end_ on
  std::uint64_t file_end_ = 0;
  bool read_failed_ = false;        // read in order: no more blocks
  bool read_failure_next_ = false;  // a read failed after bytes: the next block fails
  bool stopping_ = false;
  // The segment ends of the last two add_segment_ends() calls: end number n,
  // counted from the first given, at n % kEndsKept. A block finds its own
  // under the lock, and reads them without it: they stay until the block
  // has been taken.
  static constexpr std::size_t kEndsKept = 2 * kMostSegmentEnds;
  std::uint64_t segment_ends_[kEndsKept];
  std::uint64_t ends_given_ = 0;       // segment ends given so far
  std::uint64_t last_call_first_ = 0;  // the first end of the last call
  std::uint64_t ends_kept_from_ = 0;   // the first end still kept
  std::uint64_t end_at(std::uint64_t number) const { return segment_ends_[number % kEndsKept]; }
  std::uint64_t first_end_after(std::uint64_t offset) const;

  // The taking thread's own.
  std::uint64_t next_taken_ = 0;  // the next block to take
  Slot* current_ = nullptr;
  // The chunk open where the current block starts, and where it ends.
  CrcPair open_signatures_{0, 0};
  std::uint32_t open_length_ = 0;
  CrcPair open_after_signatures_{0, 0};
  std::uint32_t open_after_length_ = 0;
  // The current block chunked again, from the chunk open at its start, up to
  // where the two chunkings meet: the records that makes, then the block's
  // own from next_record_ on.
  FastChunker* again_chunker_ = nullptr;
  SignatureRecord* again_records_ = nullptr;
  std::size_t again_count_ = 0;
  std::size_t next_again_ = 0;
  std::size_t next_record_ = 0;
  std::uint64_t chunk_start_ = 0;  // the stream offset of the next chunk handed out
  std::uint64_t taken_to_ = 0;
  bool file_ended_seen_ = false;
  std::uint64_t file_end_seen_ = 0;
  SystemError read_error_ = 0;
};

#endif  // CHUNKSIG_PARALLEL_CHUNKING_H
