#include "chunksig/parallel_chunking.h"

#include <cstring>
#include <new>

#include "common/large_memory.h"

namespace {

// Stream bytes kept before each block (the scan's window looks back) and
// readable bytes after it (the scan reads whole rounds).
constexpr std::size_t kHistory = 64;
constexpr std::size_t kSlack = 64;
static_assert(kHistory >= kScanReadsBefore && kSlack >= kScanReadsAfter, "the scan reads around every block");

constexpr std::size_t kBlock = ParallelChunking::kBlock;
static_assert(kBlock >= kHistory, "a block's history lies in the block before");
// The most chunks that end in a block: rule cuts are kMinChunk apart within
// a segment, plus a cut at each segment end, of two add_segment_ends() calls
// at most, and one more; and the room the chunker asks for past them.
constexpr std::size_t kMostChunks = kBlock / kMinChunk + 2 * ParallelChunking::kMostSegmentEnds + 4;
constexpr std::size_t kRecordsRoom = kMostChunks + FastChunker::kMaxChunksPerSpan;
// Chunked again up to where the chunkings meet, a block has at most one
// segment end, where they meet: a cut by the rule where it starts, then one
// per kMinChunk bytes, and one at the segment end.
constexpr std::size_t kMostChunksAgain = kBlock / kMinChunk + 2;

constexpr std::size_t cache_lines(std::size_t bytes) { return (bytes + 63) / 64 * 64; }
constexpr std::size_t kBytesRoom = cache_lines(kHistory + kBlock + kSlack);
constexpr std::size_t kChunkerRoom = cache_lines(sizeof(FastChunker));
constexpr std::size_t kSlotRoom = kBytesRoom + kChunkerRoom + cache_lines(kRecordsRoom * sizeof(SignatureRecord));
constexpr std::size_t kAgainRoom =
    kChunkerRoom + cache_lines((kMostChunksAgain + FastChunker::kMaxChunksPerSpan) * sizeof(SignatureRecord));
static_assert(alignof(FastChunker) <= 64 && alignof(SignatureRecord) <= 64, "each part starts a cache line");

// Chunks the `count` bytes from `at` in spans the chunker takes; returns how
// many records it wrote to `records`.
std::size_t take_all(FastChunker& chunker, const unsigned char* at, std::size_t count, SignatureRecord* records) {
  std::size_t chunks = 0;
  for (std::size_t done = 0; done < count;) {
    const std::size_t span = count - done < FastChunker::kMaxSpan ? count - done : FastChunker::kMaxSpan;
    chunks += chunker.take(at + done, span, records + chunks);
    done += span;
  }
  return chunks;
}

}  // namespace

unsigned ParallelChunking::start(unsigned workers, CpuTier tier) {
  if (workers == 0) return 0;
  if (workers > kMostWorkers) workers = kMostWorkers;
  tier_ = tier;
  slot_count_ = workers * kSlotsPerWorker + 2;
  memory_bytes_ = slot_count_ * kSlotRoom + kAgainRoom;
  memory_ = allocate_large(memory_bytes_);
  if (memory_ == nullptr) return 0;
  unsigned char* at = static_cast<unsigned char*>(memory_);
  for (std::size_t i = 0; i < slot_count_; ++i, at += kSlotRoom) {
    slots_[i] = Slot{};
    slots_[i].bytes = at;
    slots_[i].chunker = new (at + kBytesRoom) FastChunker();
    slots_[i].records = reinterpret_cast<SignatureRecord*>(at + kBytesRoom + kChunkerRoom);
  }
  again_chunker_ = new (at) FastChunker();
  again_records_ = reinterpret_cast<SignatureRecord*>(at + kChunkerRoom);
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
    ends_kept_from_ = last_call_first_;
    last_call_first_ = ends_given_;
    for (std::size_t i = 0; i < count; ++i) segment_ends_[(ends_given_ + i) % kEndsKept] = ends[i];
    ends_given_ += count;
    limit_ = ends[count - 1];
  }
  monitor_.wake_all();
}

// The number of the first segment end kept that lies past `offset`, or
// ends_given_ if none does.
std::uint64_t ParallelChunking::first_end_after(std::uint64_t offset) const {
  std::uint64_t low = ends_kept_from_, high = ends_given_;
  while (low < high) {
    const std::uint64_t middle = low + (high - low) / 2;
    if (end_at(middle) <= offset) {
      low = middle + 1;
    } else {
      high = middle;
    }
  }
  return low;
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

// One block, once can_read(): read it (or pad it, past the file's end) and
// chunk it. Called and left with the lock held; false when stopping.
bool ParallelChunking::process_block(ThreadMonitor::Hold& hold) {
  const std::uint64_t sequence = next_read_++;
  const std::uint64_t room = limit_ - read_to_;
  const std::size_t wanted = room < block_ ? static_cast<std::size_t>(room) : block_;
  Slot& block = slot(sequence);
  block.state = SlotState::kBusy;
  block.start = read_to_;
  // The segment ends in (start, start + wanted]: one at the block's start is
  // the block before's.
  block.ends_from = first_end_after(block.start);
  block.ends_to = first_end_after(block.start + wanted);
  const std::uint64_t file_end = file_ended_ ? file_end_ : kNoFileEnd;
  const bool failure_next = read_failure_next_;
  if (reads_ == Reads::kPositioned) {
    // The next block starts where this one will end: the next read need not
    // wait for this one.
    read_to_ += wanted;
    monitor_.wake_all();
  } else {
    reading_ = true;
  }
  hold.release();

  const BlockRead read = reads_ == Reads::kPositioned ? read_positioned(block, wanted)
                                                      : read_in_order(sequence, wanted, file_end, failure_next);

  hold.take();
  reading_ = false;
  // Read in order, nothing comes after a failure. Read side by side, the
  // blocks after one may yet lie past the file's end that an earlier block
  // finds (settle_past_file_end), so the reads go on; they stop by
  // themselves once every slot is full, as the failure ends the run.
  if (read.bytes < 0) {
    if (reads_ == Reads::kInOrder) read_failed_ = true;
    block.failed = true;
    block.fails_after = false;
    block.read_error = read.error;
    block.file_end = kNoFileEnd;
    block.size = wanted;  // the bytes it was to bring
    block.state = SlotState::kReady;
    monitor_.wake_all();
    return true;
  }
  // A read that fails after some bytes keeps them, as one thread would take
  // them; the failure is the next block's.
  if (reads_ == Reads::kInOrder) {
    read_failure_next_ = read.failed_after_bytes;
    read_to_ += static_cast<std::size_t>(read.bytes);
  }
  if (read.file_end != kNoFileEnd && !file_ended_) {
    file_ended_ = true;
    file_end_ = read.file_end;
  }
  block.failed = false;
  block.fails_after = reads_ == Reads::kPositioned && read.failed_after_bytes;
  block.read_error = read.error;
  block.file_end = read.file_end;
  block.size = static_cast<std::size_t>(read.bytes);
  monitor_.wake_all();
  hold.release();

  chunk_block(block);

  hold.take();
  block.state = SlotState::kReady;
  monitor_.wake_all();
  return true;
}

// A pipe, or a file of another kind, is read in order, one block at a time.
ParallelChunking::BlockRead ParallelChunking::read_in_order(std::uint64_t sequence, std::size_t wanted,
                                                            std::uint64_t file_end, bool failure_next) {
  Slot& block = slot(sequence);
  // The last stream bytes before the block: the end of the block before,
  // whose slot no read can take while this one is in progress.
  if (sequence > 0) {
    const Slot& before = slot(sequence - 1);
    std::memcpy(block.bytes, before.bytes + before.size, kHistory);
  }
  unsigned char* bytes = block.bytes + kHistory;
  // A pipe gives what its writer has written so far: read on until the block
  // is whole, so that blocks stay large.
  BlockRead read{failure_next ? -1 : 0, false, kNoFileEnd, 0};
  while (file_end == kNoFileEnd && read.bytes >= 0 && static_cast<std::size_t>(read.bytes) < wanted) {
    const std::ptrdiff_t more = file_.read_some(bytes + read.bytes, wanted - static_cast<std::size_t>(read.bytes));
    if (more < 0) {
      read.failed_after_bytes = read.bytes > 0;
      if (read.bytes == 0) read.bytes = -1;
    }
    if (more <= 0) break;
    read.bytes += more;
  }
  // Reads in order take turns, so the handle's code is this read's, or the
  // one before's whose failure this block takes.
  if (read.bytes < 0 || read.failed_after_bytes) read.error = file_.error();
  // Once ended, the file is never read again: the blocks after are padding.
  if (read.bytes == 0) {
    std::memset(bytes, 0xFF, wanted);
    read.bytes = static_cast<std::ptrdiff_t>(wanted);
    read.file_end = block.start;
  }
  return read;
}

// A regular file is read with positioned reads, the block's history with it,
// the workers side by side. Where the file ends, the rest is padding.
ParallelChunking::BlockRead ParallelChunking::read_positioned(Slot& block, std::size_t wanted) {
  const std::size_t history = block.start < kHistory ? static_cast<std::size_t>(block.start) : kHistory;
  // Before the stream's start: zeros, as one thread starts.
  std::memset(block.bytes, 0, kHistory - history);
  unsigned char* from = block.bytes + kHistory - history;
  const std::uint64_t offset = block.start - history;
  const std::size_t asked = history + wanted;
  std::size_t got = 0;
  BlockRead read{0, false, kNoFileEnd, 0};
  while (got < asked) {
    const std::ptrdiff_t more = file_.read_some_at(offset + got, from + got, asked - got, &read.error);
    if (more < 0) {
      if (got <= history) read.bytes = -1;
      read.failed_after_bytes = got > history;
      break;
    }
    if (more == 0) {
      read.file_end = offset + got;
      break;
    }
    got += static_cast<std::size_t>(more);
  }
  if (read.bytes < 0) return read;
  if (read.failed_after_bytes) {
    read.bytes = static_cast<std::ptrdiff_t>(got - history);
    return read;
  }
  read.bytes = static_cast<std::ptrdiff_t>(wanted);
  if (read.file_end != kNoFileEnd) pad_from(block, read.file_end, wanted);
  return read;
}

// Every byte of the block's room (its history included) from stream offset
// `file_end` on becomes padding; the zeros before the stream stay.
void ParallelChunking::pad_from(Slot& block, std::uint64_t file_end, std::size_t size) {
  const std::size_t first =
      file_end + kHistory > block.start ? static_cast<std::size_t>(file_end + kHistory - block.start) : 0;
  if (first < kHistory + size) std::memset(block.bytes + first, 0xFF, kHistory + size - first);
}

// The block's chunks, as if one started at its start, with a cut at each
// segment end in it; and the bytes after its last cut.
void ParallelChunking::chunk_block(Slot& block) const {
  const unsigned char* bytes = block.bytes + kHistory;
  FastChunker& chunker = *block.chunker;
  chunker.start(tier_);
  block.first_segment_end = kNoSegmentEnd;
  std::size_t pos = 0, chunks = 0;
  for (std::uint64_t number = block.ends_from; number < block.ends_to; ++number) {
    if (end_at(number) > block.start + block.size) break;  // the file ended short of it
    const auto end = static_cast<std::size_t>(end_at(number) - block.start);
    if (block.first_segment_end == kNoSegmentEnd) block.first_segment_end = end;
    chunks += take_all(chunker, bytes + pos, end - pos, block.records + chunks);
    chunks += chunker.end_segment(block.records + chunks);
    pos = end;
  }
  chunks += take_all(chunker, bytes + pos, block.size - pos, block.records + chunks);
  block.chunks = chunks;
  block.tail_signatures = chunker.pending_signatures();
  block.tail_length = chunker.pending_length();
}

bool ParallelChunking::take_block() {
  ThreadMonitor::Hold hold(monitor_);
  if (current_ != nullptr) {
    // A read that failed after the bytes of the block before fails this one.
    const bool fails_after = current_->fails_after;
    if (fails_after) read_error_ = current_->read_error;
    current_->state = SlotState::kFree;
    current_ = nullptr;
    monitor_.wake_all();
    if (fails_after) return false;
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
  // The rest is this thread's own: the workers go on while it chunks the
  // block again, which takes the whole block where the chunkings never meet.
  hold.release();
  settle_past_file_end(block);
  if (block.failed) {
    read_error_ = block.read_error;
    return false;
  }
  ++next_taken_;
  if (block.file_end != kNoFileEnd && !file_ended_seen_) {
    file_ended_seen_ = true;
    file_end_seen_ = block.file_end;
  }
  current_ = &block;
  again_count_ = next_again_ = next_record_ = 0;
  open_after_signatures_ = block.tail_signatures;
  open_after_length_ = block.tail_length;
  if (open_length_ != 0) chunk_again(block);
  taken_to_ = block.start + block.size;
  return true;
}

// Read side by side, a block may have been read (or have failed) before the
// read of an earlier one found the file's end. One thread reads no more once
// it has found the end: from there on, such a block is padding, and is
// chunked again. Blocks read in order never need it.
void ParallelChunking::settle_past_file_end(Slot& block) const {
  if (!file_ended_seen_) return;
  // Where the block's bytes from the file end.
  const std::uint64_t data_end =
      block.file_end != kNoFileEnd && !block.failed ? block.file_end : block.start + block.size;
  if (data_end <= block.start) return;
  block.failed = false;
  block.fails_after = false;
  block.file_end = file_end_seen_;
  pad_from(block, file_end_seen_, block.size);
  chunk_block(block);
}

// The block chunked again from the chunk open at its start, cut by cut of
// its own, until a cut falls on one of them: the records up to there, then
// the block's own after it. They meet at its first segment end at the
// latest, where both cut. Where they do not meet, the block has no segment
// end, and the chunking again gives all its records and the chunk open at
// its end.
void ParallelChunking::chunk_again(const Slot& block) {
  const unsigned char* bytes = block.bytes + kHistory;
  FastChunker& chunker = *again_chunker_;
  chunker.start(tier_);
  chunker.resume(open_signatures_, open_length_);
  std::size_t pos = 0, chunks = 0;
  for (std::size_t i = 0; i < block.chunks; ++i) {
    const std::size_t cut = pos + block.records[i].len;
    chunks += chunker.take(bytes + pos, cut - pos, again_records_ + chunks);
    if (cut == block.first_segment_end) chunks += chunker.end_segment(again_records_ + chunks);
    pos = cut;
    if (chunker.pending_length() == 0) {
      again_count_ = chunks;
      next_record_ = i + 1;
      return;
    }
  }
  again_count_ = chunks + take_all(chunker, bytes + pos, block.size - pos, again_records_ + chunks);
  next_record_ = block.chunks;
  open_after_signatures_ = chunker.pending_signatures();
  open_after_length_ = chunker.pending_length();
}

// The current block's next record, or false when it has no more.
bool ParallelChunking::next_record(SignatureRecord* record) {
  if (next_again_ < again_count_) {
    *record = again_records_[next_again_++];
    return true;
  }
  if (next_record_ < current_->chunks) {
    *record = current_->records[next_record_++];
    return true;
  }
  return false;
}

ParallelChunking::Next ParallelChunking::next_chunk(bool stop_at_file_end, SignatureRecord* record) {
  SignatureRecord next;
  while (current_ == nullptr || !next_record(&next)) {
    if (current_ != nullptr) {
      open_signatures_ = open_after_signatures_;
      open_length_ = open_after_length_;
    }
    if (!take_block()) return Next::kReadFailed;
  }
  const std::uint64_t end = chunk_start_ + next.len;
  if (stop_at_file_end && file_ended_seen_ && end > file_end_seen_) return Next::kPastFileEnd;
  chunk_start_ = end;
  *record = next;
  return Next::kChunk;
}
