// Straightforward models of the tools, written from their documented
// behaviour and sharing no code with them: the oracle for the command-line
// tests. Slow on purpose (a bitwise CRC over the whole window at every byte).
#ifndef TESTS_REFERENCE_MODEL_H
#define TESTS_REFERENCE_MODEL_H

#include <cstdint>
#include <string>

// Standard CRC-32 (IEEE 802.3) of `size` bytes, computed bit by bit.
std::uint32_t reference_crc32(const void* bytes, std::size_t size);

// A 10-byte signature record with the given fields.
std::string signature_record(std::uint32_t crc_plus1, std::uint32_t crc_plain, std::uint16_t len);

// The 10-byte signature record of one chunk.
std::string reference_signature(const std::string& chunk);

struct ChunksigOutput {
  std::string console;
  std::string signatures;
};

// What chunksig prints and writes for a base file of `fptr` bytes, a data file
// `data` and a segment list `segments`, when every file behaves.
ChunksigOutput reference_chunksig(std::uint64_t fptr, const std::string& data, const std::string& segments);

struct SigdiffOutput {
  std::string lines;    // what sigdiff OLD NEW prints
  std::string summary;  // what sigdiff --summary OLD NEW prints
  int exit_code;
};

// sigdiff's output for the signature files `old_file` and `new_file`: every
// whole record of NEW whose 10 bytes are in neither OLD nor earlier in NEW, as
// sigdump prints it, and the counts.
SigdiffOutput reference_sigdiff(const std::string& old_file, const std::string& new_file);

struct ChunkcatOutput {
  std::string bytes;  // what chunkcat DATA LIST writes
  int exit_code;
};

// chunkcat's output for `data` and the chunk lines `list`: the bytes of each
// line's chunk (0xFF past the data's end) in order, up to the first line that
// is not a chunk line or whose chunk does not match its CRCs; with `pipe`,
// also up to the first line that goes backwards.
ChunkcatOutput reference_chunkcat(const std::string& data, const std::string& list, bool pipe);

// One segment-list record.
std::string segment(std::uint32_t len, std::uint64_t ofs);

// Test inputs: the bytes 00, 01, ... FF repeated; seeded pseudo-random bytes.
std::string cycling_bytes(std::size_t size);
std::string random_bytes(std::size_t size, std::uint32_t seed);

#endif  // TESTS_REFERENCE_MODEL_H
