// The stream bytes in order: the data file's bytes, then 0xFF for every byte
// the file does not have. Read in large blocks into the caller's buffer, never
// further than the caller allows, so a pipe gives up no byte it does not need.
#ifndef CHUNKSIG_DATA_STREAM_H
#define CHUNKSIG_DATA_STREAM_H

#include <cstddef>
#include <cstdint>

#include "chunking/kernels/chunk_kernels.h"
#include "common/file_handle.h"

class DataStream {
 public:
  // The largest span handed out at once.
  static constexpr std::size_t kBlock = kSpanBytes;
  // Stream bytes kept before the next span (zero before the first byte), and
  // readable bytes after its end, for the scan's wide loads.
  static constexpr std::size_t kHistory = 64;
  static constexpr std::size_t kSlack = 64;
  static_assert(kHistory >= kScanReadsBefore && kSlack >= kScanReadsAfter, "the scan reads around every span");

  // Room for the history, one block and the slack after it.
  struct Buffer {
    unsigned char bytes[kHistory + kBlock + kSlack];
  };

  // `buffer` outlives the stream; the tools pass a static one.
  DataStream(FileHandle& file, Buffer& buffer) : file_(file), buffer_(buffer.bytes) {}

  const unsigned char* next() const;
  std::size_t available() const { return filled_ - consumed_; }
  void consume(std::size_t count) { consumed_ += count; }

  // When nothing is available, brings in at least 1 and at most `limit` (> 0)
  // more stream bytes. False on a read error.
  bool refill(std::uint64_t limit);
  // Whether the last refill brought padding (0xFF for bytes the file lacks)
  // rather than the file's bytes; and how many padding bytes all refills
  // brought.
  bool padded() const { return padded_; }
  std::uint64_t padding_bytes() const { return padding_bytes_; }

 private:
  FileHandle& file_;
  unsigned char* buffer_;
  std::size_t filled_ = kHistory;
  std::size_t consumed_ = kHistory;
  bool file_ended_ = false;
  bool padded_ = false;
  std::uint64_t padding_bytes_ = 0;
};

#endif  // CHUNKSIG_DATA_STREAM_H
