// chunksig -j: the stream chunked by worker threads, the records handed out
// in order, byte for byte those one thread writes.
//
// The stream goes in blocks. For each, a worker reads it (the workers read
// one at a time, in stream order, never past the limit: a pipe gives up no
// byte the segments do not need), marks its cut candidates while the bytes
// are in its cache, places its cuts once the block before has placed its own
// (the walk carries the open chunk's length from block to block, and tests
// only the candidates where a chunk could end), and computes the CRCs of the
// pieces between the cuts. The thread that
// owns the chunking takes the blocks in order, joins each chunk's pieces
// (crc32_pair_combine) and hands out the records. The marks do not depend on
// where chunks start, and the walk is the one-thread walk, so the records are
// the same.
//
// After the data file's end the blocks are 0xFF padding, as one thread
// brings it. A read that fails ends the blocks there.
//
// The thread that takes the blocks works on the blocks after the one it
// waits for, so it is a worker too. Memory: kSlotsPerWorker blocks of about
// 420 KiB per worker thread and two more, allocated once at start.
#ifndef CHUNKSIG_PARALLEL_CHUNKING_H
#define CHUNKSIG_PARALLEL_CHUNKING_H

#include <cstddef>
#include <cstdint>

#include "chunking/crc32.h"
#include "chunking/cut_rule.h"
#include "chunking/cut_walker.h"
#include "chunking/kernels/chunk_kernels.h"
#include "common/file_handle.h"
#include "common/worker_thread.h"
#include "records/records.h"

class ParallelChunking {
 public:
  static constexpr std::size_t kBlock = 256 * 1024;
  static constexpr unsigned kMostWorkers = 256;
  static constexpr unsigned kSlotsPerWorker = 2;
  // The most segment ends add_segment_ends() takes at once.
  static constexpr std::size_t kMostSegmentEnds = 4096;

  explicit ParallelChunking(FileHandle& file) : file_(file) {}

  // Allocates the blocks and starts up to `workers` (1 to kMostWorkers)
  // threads running the kernels `kernels`. Returns how many started: 0 when
  // the memory could not be had or no thread would start (then nothing
  // needs finishing).
  unsigned start(unsigned workers, const ChunkKernels& kernels);
  // Stops the workers, once the read each may be in has returned, and gives
  // the memory back.
  void finish();

  // The ends of the segments just read that bring new bytes, as stream
  // offsets from the stream's start, ascending; the last is how far the
  // workers may now read. Called only once every chunk up to the ends given
  // before has been taken.
  void add_segment_ends(const std::uint64_t* ends, std::size_t count);

  enum class Next { kChunk, kReadFailed, kPastFileEnd };
  // The record of the next chunk. kReadFailed: a read of the data file
  // failed before its end. kPastFileEnd: it reaches past the data file's
  // end and `stop_at_file_end` asks not to go there.
  Next next_chunk(bool stop_at_file_end, SignatureRecord* record);

  // Whether the data file has been found to end before the stream offset
  // taken_to(), and where.
  bool file_ended() const { return file_ended_seen_; }
  std::uint64_t file_end() const { return file_end_seen_; }
  // The stream offset up to which blocks have been taken.
  std::uint64_t taken_to() const { return taken_to_; }

 private:
  enum class SlotState { kFree, kBusy, kMarked, kReady };
  struct Slot {
    unsigned char* bytes;       // kHistory, then the block, then kSlack
    std::uint64_t* marks;       // the cut candidates
    std::uint32_t* cut_ends;    // where chunks end, from the block's start
    CrcPair* pieces;            // the CRCs of the pieces between cuts
    std::uint64_t start;        // the block's stream offset
    std::size_t size;           // its bytes
    std::size_t cuts;           // chunk ends in it
    bool padding;               // past the data file's end: 0xFF
    bool failed;                // the read failed: no bytes
    SlotState state;
  };

  static void work(void* chunking);
  void run_worker();
  bool can_read() const;
  bool process_block(ThreadMonitor::Hold& hold);
  void walk(Slot& block);
  void hash_pieces(Slot& block) const;
  Slot& slot(std::uint64_t sequence) { return slots_[sequence % slot_count_]; }
  bool take_block();

  FileHandle& file_;
  ChunkKernels kernels_{};
  void* memory_ = nullptr;
  std::size_t memory_bytes_ = 0;
  Slot slots_[kMostWorkers * kSlotsPerWorker + 2];
  std::size_t slot_count_ = 0;
  WorkerThread workers_[kMostWorkers];
  unsigned worker_count_ = 0;

  // Shared with the workers, under monitor_'s lock; every change wakes the
  // waiting threads.
  ThreadMonitor monitor_;
  std::uint64_t limit_ = 0;       // stream bytes the workers may read up to
  std::uint64_t read_to_ = 0;     // stream bytes read (or padded) so far
  std::uint64_t next_read_ = 0;   // the next block to read, by sequence number
  std::uint64_t next_walk_ = 0;   // the next block to walk
  bool reading_ = false;          // a read is in progress: one at a time, in order
  bool file_ended_ = false;       // a read found the end: padding from file_end_ on
  std::uint64_t file_end_ = 0;
  bool read_failed_ = false;      // no more blocks
  bool read_failure_next_ = false;  // a read failed after bytes: the next block fails
  bool stopping_ = false;
  // The segment ends of the last add_segment_ends(), for the walk; only the
  // walking worker reads them between two calls.
  std::uint64_t segment_ends_[kMostSegmentEnds];
  std::size_t segment_end_count_ = 0;
  std::size_t next_segment_end_ = 0;
  CutWalker walker_;              // only the walking worker uses it

  // The taking thread's own.
  std::uint64_t next_taken_ = 0;  // the next block to take
  Slot* current_ = nullptr;
  std::size_t next_piece_ = 0;    // in current_
  CrcPair open_pair_{0, 0};       // the open chunk's signatures so far
  std::uint32_t open_length_ = 0;
  std::uint64_t taken_to_ = 0;
  bool file_ended_seen_ = false;
  std::uint64_t file_end_seen_ = 0;
};

#endif  // CHUNKSIG_PARALLEL_CHUNKING_H
