#include "chunksig/parallel_chunking.h"

#include <cstring>

#include "common/large_memory.h"

namespace {

// Stream bytes kept before each block (the scan's window looks back) and
// readable bytes after it (the scan reads whole rounds).
constexpr std::size_t kHistory = 64;
constexpr std::size_t kSlack = 64;
static_assert(kHistory >= kScanReadsBefore && kSlack >= kScanReadsAfter, "the scan reads around every block");

constexpr std::size_t kBlock = ParallelChunking::kBlock;
static_assert(kBlock >= kHistory, "a block's history lies in the block before");
// The most chunk ends in a block: rule cuts are kMinChunk apart within a
// segment, plus a cut at each segment end and one more per segment.
constexpr std::size_t kMostCuts = kBlock / kMinChunk + 2 * ParallelChunking::kMostSegmentEnds + 4;

constexpr std::size_t cache_lines(std::size_t bytes) { return (bytes + 63) / 64 * 64; }
constexpr std::size_t kBytesRoom = cache_lines(kHistory + kBlock + kSlack);
constexpr std::size_t kMarksRoom = cache_lines((kBlock / 64 + 1) * sizeof(std::uint64_t));
constexpr std::size_t kCutsRoom = cache_lines(kMostCuts * sizeof(std::uint32_t));
constexpr std::size_t kPiecesRoom = cache_lines((kMostCuts + 1) * sizeof(CrcPair));
constexpr std::size_t kSlotRoom = kBytesRoom + kMarksRoom + kCutsRoom + kPiecesRoom;

}  // namespace

unsigned ParallelChunking::start(unsigned workers, const ChunkKernels& kernels) {
  if (workers == 0) return 0;
  if (workers > kMostWorkers) workers = kMostWorkers;
  kernels_ = kernels;
  slot_count_ = workers * kSlotsPerWorker + 2;
  memory_bytes_ = slot_count_ * kSlotRoom;
  memory_ = allocate_large(memory_bytes_);
  if (memory_ == nullptr) return 0;
  unsigned char* at = static_cast<unsigned char*>(memory_);
  for (std::size_t i = 0; i < slot_count_; ++i, at += kSlotRoom) {
    slots_[i] = Slot{at,
                     reinterpret_cast<std::uint64_t*>(at + kBytesRoom),
                     reinterpret_cast<std::uint32_t*>(at + kBytesRoom + kMarksRoom),
                     reinterpret_cast<CrcPair*>(at + kBytesRoom + kMarksRoom + kCutsRoom),
                     0, 0, 0, false, false, SlotState::kFree};
  }
  // The stream starts after zeros, as one thread's does.
  std::memset(slots_[0].bytes, 0, kHistory);
  for (unsigned i = 0; i < workers; ++i) {
    SystemError error = 0;
    if (!workers_[i].start(work, this, &error)) break;
    ++worker_count_;
  }
  if (worker_count_ == 0) {
    free_large(memory_, memory_bytes_);
    memory_ = nullptr;
  }
  return worker_count_;
}

void ParallelChunking::finish() {
  {
    ThreadMonitor::Hold hold(monitor_);
    stopping_ = true;
  }
  monitor_.wake_all();
  for (unsigned i = 0; i < worker_count_; ++i) workers_[i].join();
  worker_count_ = 0;
  free_large(memory_, memory_bytes_);
  memory_ = nullptr;
}

void ParallelChunking::add_segment_ends(const std::uint64_t* ends, std::size_t count) {
  if (count == 0) return;
  {
    ThreadMonitor::Hold hold(monitor_);
    std::memcpy(segment_ends_, ends, count * sizeof *ends);
    segment_end_count_ = count;
    next_segment_end_ = 0;
    limit_ = ends[count - 1];
  }
  monitor_.wake_all();
}

void ParallelChunking::work(void* chunking) { static_cast<ParallelChunking*>(chunking)->run_worker(); }

bool ParallelChunking::can_read() const {
  return !reading_ && !read_failed_ && limit_ > read_to_ && slots_[next_read_ % slot_count_].state == SlotState::kFree;
}

// A worker's turns, until stopped: a block at a time.
void ParallelChunking::run_worker() {
  ThreadMonitor::Hold hold(monitor_);
  for (;;) {
    while (!stopping_ && !can_read()) monitor_.wait();
    if (stopping_ || !process_block(hold)) return;
  }
}

// One block, once can_read(): read it (or pad it, past the file's end), mark
// its candidates, walk it when the blocks before have been walked, hash its
// pieces. Called and left with the lock held; false when stopping.
bool ParallelChunking::process_block(ThreadMonitor::Hold& hold) {
  const std::uint64_t sequence = next_read_++;
  const std::uint64_t room = limit_ - read_to_;
  const std::size_t wanted = room < kBlock ? static_cast<std::size_t>(room) : kBlock;
  reading_ = true;
  Slot& block = slot(sequence);
  block.state = SlotState::kBusy;
  block.start = read_to_;
  bool padding = file_ended_;
  const bool failure_next = read_failure_next_;
  hold.release();

  // The last stream bytes before the block: the end of the block before,
  // whose slot no read can take while this one is in progress.
  if (sequence > 0) {
    const Slot& before = slot(sequence - 1);
    std::memcpy(block.bytes, before.bytes + before.size, kHistory);
  }
  unsigned char* bytes = block.bytes + kHistory;
  // A pipe gives what its writer has written so far: read on until the block
  // is whole, so that blocks stay large. A read that fails after some bytes
  // keeps them, as one thread would take them; the failure is the next
  // block's.
  std::ptrdiff_t got = failure_next ? -1 : 0;
  bool failed_after_bytes = false;
  while (!padding && got >= 0 && static_cast<std::size_t>(got) < wanted) {
    const std::ptrdiff_t more = file_.read_some(bytes + got, wanted - static_cast<std::size_t>(got));
    if (more < 0) {
      failed_after_bytes = got > 0;
      if (got == 0) got = -1;
    }
    if (more <= 0) break;
    got += more;
  }
  if (got == 0) {
    padding = true;
    std::memset(bytes, 0xFF, wanted);
    got = static_cast<std::ptrdiff_t>(wanted);
  }

  hold.take();
  reading_ = false;
  read_failure_next_ = failed_after_bytes;
  if (got < 0) {
    read_failed_ = true;
    block.failed = true;
    block.size = 0;
    block.state = SlotState::kReady;
    monitor_.wake_all();
    return true;
  }
  if (padding && !file_ended_) {
    file_ended_ = true;
    file_end_ = block.start;
  }
  block.failed = false;
  block.padding = padding;
  block.size = static_cast<std::size_t>(got);
  read_to_ += block.size;
  monitor_.wake_all();
  hold.release();

  CutWalker::mark_candidates(kernels_, bytes, block.size, block.marks);

  hold.take();
  while (!stopping_ && next_walk_ != sequence) monitor_.wait();
  if (stopping_) return false;
  hold.release();
  walk(block);
  hold.take();
  ++next_walk_;
  monitor_.wake_all();
  hold.release();

  hash_pieces(block);

  hold.take();
  block.state = SlotState::kReady;
  monitor_.wake_all();
  return true;
}

// The block's cuts: by the rule over its marks, and at each segment end in
// it. Runs for one block at a time, in stream order.
void ParallelChunking::walk(Slot& block) {
  const unsigned char* bytes = block.bytes + kHistory;
  const std::uint64_t block_end = block.start + block.size;
  std::size_t pos = 0, cuts = 0;
  for (; next_segment_end_ < segment_end_count_ && segment_ends_[next_segment_end_] <= block_end; ++next_segment_end_) {
    const std::size_t end = static_cast<std::size_t>(segment_ends_[next_segment_end_] - block.start);
    cuts += walker_.walk(bytes, block.marks, pos, end - pos, block.cut_ends + cuts);
    if (walker_.end_segment()) block.cut_ends[cuts++] = static_cast<std::uint32_t>(end);
    pos = end;
  }
  if (pos < block.size) cuts += walker_.walk(bytes, block.marks, pos, block.size - pos, block.cut_ends + cuts);
  block.cuts = cuts;
}

// The CRCs of the pieces between the cuts, each from nothing: the first
// continues a chunk of the blocks before, and the last is continued by the
// blocks after.
void ParallelChunking::hash_pieces(Slot& block) const {
  const unsigned char* bytes = block.bytes + kHistory;
  std::size_t from = 0;
  for (std::size_t i = 0; i <= block.cuts; ++i) {
    const std::size_t to = i < block.cuts ? block.cut_ends[i] : block.size;
    CrcPair pair{0, 0};
    if (to > from) kernels_.crc_pair(pair, bytes + from, to - from);
    block.pieces[i] = pair;
    from = to;
  }
}

bool ParallelChunking::take_block() {
  ThreadMonitor::Hold hold(monitor_);
  if (current_ != nullptr) {
    current_->state = SlotState::kFree;
    current_ = nullptr;
    monitor_.wake_all();
  }
  // Waiting for the next block, this thread works on the blocks after it.
  Slot& block = slot(next_taken_);
  while (block.state != SlotState::kReady) {
    if (can_read()) {
      process_block(hold);
    } else {
      monitor_.wait();
    }
  }
  if (block.failed) return false;
  ++next_taken_;
  if (block.padding && !file_ended_seen_) {
    file_ended_seen_ = true;
    file_end_seen_ = block.start;
  }
  current_ = &block;
  next_piece_ = 0;
  taken_to_ = block.start + block.size;
  return true;
}

ParallelChunking::Next ParallelChunking::next_chunk(bool stop_at_file_end, SignatureRecord* record) {
  for (;;) {
    if (current_ == nullptr || next_piece_ > current_->cuts) {
      if (!take_block()) return Next::kReadFailed;
      continue;
    }
    const Slot& block = *current_;
    const std::size_t piece = next_piece_++;
    const std::size_t from = piece == 0 ? 0 : block.cut_ends[piece - 1];
    const std::size_t to = piece < block.cuts ? block.cut_ends[piece] : block.size;
    if (to > from) {
      if (open_length_ == 0) {
        open_pair_ = block.pieces[piece];
      } else {
        crc32_pair_combine(open_pair_, block.pieces[piece], to - from);
      }
      open_length_ += static_cast<std::uint32_t>(to - from);
    }
    if (piece == block.cuts) continue;  // the chunk goes on in the next block
    if (stop_at_file_end && file_ended_seen_ && block.start + to > file_end_seen_) return Next::kPastFileEnd;
    *record = SignatureRecord{open_pair_.plus1, open_pair_.plain, static_cast<std::uint16_t>(open_length_)};
    open_pair_ = CrcPair{0, 0};
    open_length_ = 0;
    return Next::kChunk;
  }
}
